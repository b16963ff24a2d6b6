// Host test helpers for the packer: manifests from JSON text, and runs of the real uninstpack.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "format/block_writer.h"
#include "pack/manifest.h"
#include "support/fake_stub.h"

namespace pack_testing {

// A folder of its own under the temporary folder, removed with everything in it.
class TempFolder {
  public:
    TempFolder() {
        const char* env = getenv("TMPDIR");
        std::string pattern = std::string(env ? env : "/tmp") + "/uninstpack-test-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (mkdtemp(name.data())) path_ = name.data();
    }
    ~TempFolder() {
        if (!path_.empty()) std::system(("rm -rf '" + path_ + "'").c_str());
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline void WriteBytes(const std::string& path, const format::Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline format::Bytes ReadBytes(const std::string& path) {
    std::string text = ReadText(path);
    return format::Bytes(text.begin(), text.end());
}

// A stub: a small PE image with the .uninst section (see support/fake_stub.h).
inline format::Bytes FakeStub() {
    return testing_support::FakeStubImage();
}

// A stub that ends in a resource section and the relocations, as the real one does.
inline format::Bytes FakeStubWithResources() {
    return testing_support::FakeStubWithResourcesImage();
}

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// The packer under test: UNINSTPACK names it, and UNINSTPACK_RUNNER, when set, the program that
// runs it (scripts/wine for the Windows packer, build/win32/uninstpack.exe: the same cases then
// run against the Windows build under Wine).
inline bool WindowsPacker() {
    const char* runner = getenv("UNINSTPACK_RUNNER");
    return runner && *runner;
}

// How the packer under test spells the file at `path`: as it stands natively, with a drive letter
// and backslashes for the Windows packer (Wine shows the root of this system as Z:).
inline std::string PackerPath(const std::string& path) {
    if (!WindowsPacker()) return path;
    std::string spelled = "Z:" + path;
    for (char& c : spelled) {
        if (c == '/') c = '\\';
    }
    return spelled;
}

// Runs `packer` (already quoted for the shell, with its runner) with `arguments` (also quoted);
// `stdoutTo` and `stderrTo` send its standard output or error to that file instead of capturing it
// (/dev/full: a full disk); `stdinFrom` gives its standard input (default /dev/null).
inline RunResult RunProgram(const std::string& packer, const std::string& arguments,
                            const std::string& stdoutTo = "", const std::string& stderrTo = "",
                            const std::string& stdinFrom = "/dev/null") {
    TempFolder folder;
    RunResult result;
    std::string command = packer + " " + arguments + " >'" +
                          (stdoutTo.empty() ? folder.File("out") : stdoutTo) + "' 2>'" +
                          (stderrTo.empty() ? folder.File("err") : stderrTo) + "' <'" + stdinFrom + "'";
    int status = std::system(command.c_str());
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadText(folder.File("out"));
    result.err = ReadText(folder.File("err"));
    return result;
}

// Runs the packer under test (see WindowsPacker) with `arguments` (already quoted for the shell).
inline RunResult RunPacker(const std::string& arguments, const std::string& stdoutTo = "",
                           const std::string& stderrTo = "", const std::string& stdinFrom = "/dev/null") {
    const char* packer = getenv("UNINSTPACK");
    if (!packer) {
        RunResult result;
        result.err = "UNINSTPACK is not set";
        return result;
    }
    std::string command = std::string("'") + packer + "'";
    if (WindowsPacker()) command = std::string("'") + getenv("UNINSTPACK_RUNNER") + "' " + command;
    return RunProgram(command, arguments, stdoutTo, stderrTo, stdinFrom);
}

// Parses a manifest; the problems, one per line, when it does not parse.
inline std::string Parse(const std::string& json, pack::Manifest& manifest) {
    std::vector<pack::Problem> problems;
    if (pack::ParseManifest(json, manifest, problems)) return "";
    std::string all;
    for (const auto& p : problems) all += pack::DescribeProblem("m.json", p) + "\n";
    return all.empty() ? "failed without a problem\n" : all;
}

// The source tree: UNINST_SOURCE_DIR when CTest passes it, else the tree this file is in.
inline std::string SourceDir() {
    const char* env = getenv("UNINST_SOURCE_DIR");
    if (env) return env;
    std::string here = __FILE__;
    return here.substr(0, here.rfind("/tests/pack/"));
}

}  // namespace pack_testing
