#include "shell/shell_text.h"

#include "common/backslash.h"
#include "common/text.h"

namespace {

// The bounded writer (common/text.h) with the pieces of batch lines.
class BatchWriter : public TextWriter {
  public:
    using TextWriter::TextWriter;

    // A path as a batch line must hold it: every "%" doubled.
    void PutPath(const char* path) {
        for (; *path; ++path) {
            if (*path == '%') Put('%');
            Put(*path);
        }
    }
    void PutNumber(uint32_t value) {
        char digits[kDecimalDigitsSize];
        Put(FormatDecimal(value, digits));
    }
    void PutLine(const char* text) {
        Put(text);
        Put("\r\n");
    }
    // `before`, the path in double quotes, `after`, and the line end.
    void PutPathLine(const char* before, const char* path, const char* after) {
        Put(before);
        Put('"');
        PutPath(path);
        Put('"');
        PutLine(after);
    }
};

// Runs `compose` once to measure and once more to write when the text fits: `out` is untouched
// otherwise.
template <class Compose>
bool ComposeWhole(Compose compose, char* out, size_t size) {
    BatchWriter measure(nullptr, 0);
    compose(measure);
    if (measure.length() >= size) return false;
    BatchWriter writer(out, size);
    compose(writer);
    return writer.fits();
}

const char* FindText(const char* text, const char* part) {
    size_t n = TextLength(part);
    for (; *text; ++text) {
        size_t i = 0;
        while (i < n && text[i] == part[i]) ++i;
        if (i == n) return text;
    }
    return nullptr;
}

}  // namespace

bool BuildProgramCommandLine(const char* program, const char* arguments, char* out, size_t size) {
    auto compose = [&](BatchWriter& w) {
        w.Put('"');
        w.Put(program);
        w.Put('"');
        if (arguments && arguments[0] != '\0') {
            w.Put(' ');
            w.Put(arguments);
        }
    };
    return ComposeWhole(compose, out, size);
}

bool IsWebAddress(const char* target) {
    return StartsWithNoCase(target, "http://") || StartsWithNoCase(target, "https://");
}

bool ShellWorkingFolder(const char* target, char* folder, size_t size) {
    if (IsWebAddress(target) || !FindLastBackslash(target)) return false;
    if (!CopyText(folder, size, target)) return false;
    return CutAtLastBackslash(folder);
}

bool CompleteOpenCommand(char* command, size_t size, const char* target) {
    const char* cut = FindText(command, "\"%1\"");
    if (!cut) cut = FindText(command, "%1");
    size_t kept = cut ? static_cast<size_t>(cut - command) : TextLength(command);
    bool quote = ContainsByte(target, ' ');
    size_t length = kept + 1 + TextLength(target) + (quote ? 2 : 0);
    if (length >= size) return false;
    TextWriter writer(command + kept, size - kept);
    writer.Put(' ');
    if (quote) writer.Put('"');
    writer.Put(target);
    if (quote) writer.Put('"');
    return true;
}

size_t ComposeSelfDeleteBatch(const SelfDeleteBatch& paths, char* out, size_t size) {
    BatchWriter w(out, size);
    w.PutLine("@echo off");
    if (!paths.delayProgram) {
        // command.com (9x) has no arithmetic: it retries until the file goes.
        w.PutLine(":Repeat");
        w.PutPathLine("del ", paths.module, "");
        w.PutPathLine("if exist ", paths.module, " goto Repeat");
        if (paths.installFolder) w.PutPathLine("rmdir ", paths.installFolder, "");
        w.PutPathLine("del ", paths.batch, "");
        return w.length();
    }
    // Tries at full speed first, so the file goes the moment the process has ended; then paced by
    // ping about once a second; then gives up (a read-only or locked file that never goes) rather
    // than spin hidden until the next restart.
    w.PutLine("set n=0");
    w.PutLine(":Repeat");
    w.PutPathLine("del ", paths.module, "");
    w.PutPathLine("if not exist ", paths.module, " goto Removed");
    w.PutLine("set /a n+=1");
    w.Put("if %n% lss ");
    w.PutNumber(paths.fastTries);
    w.PutLine(" goto Repeat");
    w.Put("if %n% geq ");
    w.PutNumber(paths.fastTries + paths.pacedTries);
    w.PutLine(" goto End");
    w.PutPathLine("", paths.delayProgram, " -n 2 127.0.0.1 >nul");
    w.PutLine("goto Repeat");
    w.PutLine(":Removed");
    if (paths.installFolder) w.PutPathLine("rmdir ", paths.installFolder, "");
    w.PutLine(":End");
    w.PutPathLine("del ", paths.batch, "");
    return w.length();
}

bool BuildInterpreterCommandLine(bool nt, const char* interpreter, const char* batchPath, char* out,
                                 size_t size) {
    // The interpreter expands "%NAME%" (and "!NAME!") on its command line even between quotes, and a
    // quote would end the quoted path early: such a path would run something else.
    for (const char* p = batchPath; *p != '\0'; ++p) {
        if (*p == '%' || *p == '!' || *p == '"') return false;
    }
    auto compose = [&](BatchWriter& w) {
        bool quoteInterpreter = nt || ContainsByte(interpreter, ' ');
        if (quoteInterpreter) w.Put('"');
        w.Put(interpreter);
        if (quoteInterpreter) w.Put('"');
        w.Put(nt ? " /D /V:OFF /C \"\"" : " /C \"");
        w.Put(batchPath);
        w.Put(nt ? "\"\"" : "\"");
    };
    return ComposeWhole(compose, out, size);
}

bool FormatNumberedName(const char* pattern, unsigned number, char* out, size_t size) {
    const char* mark = FindText(pattern, "%d");
    if (!mark) return false;
    auto compose = [&](BatchWriter& w) {
        for (const char* p = pattern; p < mark; ++p) w.Put(*p);
        w.PutNumber(number);
        w.Put(mark + 2);
    };
    return ComposeWhole(compose, out, size);
}
