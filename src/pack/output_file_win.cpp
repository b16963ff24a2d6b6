// Where `build -o OUT` writes on Windows: a file replaced through a temporary file beside it;
// devices and links are refused.
#include "pack/output_file.h"

#include <cctype>
#include <cstring>

#include "pack/platform_win.h"

namespace pack {

bool OutputIsStandardOutput(const std::string& output) {
    return output == "-";
}

namespace {

// True for a name Windows reads as a device wherever it stands (CON, NUL, COM1, "nul.exe", ...)
// and for the device namespace (\\.\): writing beside such a name makes no file.
bool IsDeviceName(const std::string& output) {
    if (output.size() >= 4 && (output[0] == '\\' || output[0] == '/') &&
        (output[1] == '\\' || output[1] == '/') && output[2] == '.' &&
        (output[3] == '\\' || output[3] == '/')) {
        return true;
    }
    size_t cut = output.find_last_of("\\/:");
    std::string name = output.substr(cut == std::string::npos ? 0 : cut + 1);
    name = name.substr(0, name.find('.'));
    while (!name.empty() && name.back() == ' ') name.pop_back();
    for (char& c : name) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    if (name == "CON" || name == "PRN" || name == "AUX" || name == "NUL" || name == "CONIN$" ||
        name == "CONOUT$") {
        return true;
    }
    return name.size() == 4 && (name.compare(0, 3, "COM") == 0 || name.compare(0, 3, "LPT") == 0) &&
           name[3] >= '1' && name[3] <= '9';
}

// False, with the reason, for an OUT the packer does not write on Windows: a name that is no valid
// UTF-8, a device, a link or junction, a folder.
bool IsWritableName(const std::string& output, std::string& error) {
    std::wstring wide;
    if (output.empty() || !platform::WideFromUtf8(output, wide)) {
        error = "cannot write " + output + ": the name is not valid UTF-8";
        return false;
    }
    if (IsDeviceName(output)) {
        error = "cannot write " + output +
                ": it names a device, which the packer does not write into on Windows; "
                "name a file, or - for standard output";
        return false;
    }
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        // Renaming over a link replaces the link, not the file it names; writing through it
        // in place would not be atomic. Neither is what was asked for.
        error = "cannot write " + output +
                ": it is a symbolic link or junction, which the packer does not "
                "replace on Windows; name the file it points to";
        return false;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        error = "cannot write " + output + ": it is a folder";
        return false;
    }
    return true;
}

// A new temporary file beside OUT (CREATE_NEW: never one that is there already), named in
// `temporary`; INVALID_HANDLE_VALUE when none can be made.
HANDLE CreateTemporaryBeside(const std::string& output, std::string& temporary) {
    HANDLE file = INVALID_HANDLE_VALUE;
    for (unsigned attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        temporary = output + ".partial-" + std::to_string(GetCurrentProcessId()) + "-" +
                    std::to_string(GetTickCount() + attempt);
        std::wstring wideTemporary;
        if (!platform::WideFromUtf8(temporary, wideTemporary)) break;
        file = CreateFileW(wideTemporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    return file;
}

}  // namespace

bool WriteNamedOutputFile(const std::string& output, const format::Bytes& bytes, bool executable,
                          std::string& error) {
    (void)executable;  // every file is a program to Windows by its name
    if (!IsWritableName(output, error)) return false;
    // Written to a temporary file beside OUT, moved over OUT in one step once it is written whole;
    // OUT stays as it was until then.
    std::string temporary;
    HANDLE file = CreateTemporaryBeside(output, temporary);
    if (file == INVALID_HANDLE_VALUE) {
        error = "cannot create a temporary file beside " + output + ": " + platform::SystemError();
        return false;
    }
    std::string why;
    bool ok = platform::WriteAllToHandle(file, bytes.data(), bytes.size(), why);
    if (ok && !FlushFileBuffers(file)) {
        ok = false;
        why = platform::SystemError();
    }
    // Closed by hand, not by an owner: the close's result is checked, as a written file's last
    // bytes can fail there.
    if (!CloseHandle(file) && ok) {
        ok = false;
        why = platform::SystemError();
    }
    if (ok && !platform::RenameReplacing(temporary, output, why)) ok = false;
    if (!ok) {
        platform::RemoveFile(temporary);
        error = "cannot write " + output + ": " + why;
        return false;
    }
    return true;
}

}  // namespace pack
