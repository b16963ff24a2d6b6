// The system's half of signing (sign.h), private to sign*.cpp: sign_posix.cpp or sign_win.cpp.
#pragma once

#include <string>
#include <vector>

#include "pack/sign.h"

namespace pack {

// The files the signing leaves in its folder.
inline constexpr char kUnsignedName[] = "unsigned.exe";
inline constexpr char kSignedName[] = "signed.exe";
inline constexpr char kLogName[] = "osslsigncode.log";

extern const char kProgramName[];      // the signer's file name
extern const char kFolderSeparator[];  // between a folder and a name
extern const char kNotFound[];         // what to do when no signer is found

// True for a file that can be started as a program.
bool IsExecutableFile(const std::string& path);

// The folders of PATH a signer may be taken from, each ending in a separator.
std::vector<std::string> SearchFolders();

// Makes a new folder of the packer's own in the user's temporary folder; false, with `why`, when
// none can be made.
[[nodiscard]] bool MakeSigningFolder(std::string& path, std::string& why);
// Removes the files the signing leaves (above), then the folder.
void RemoveSigningFolder(const std::string& path);

// Runs the program with these arguments (no shell), its input from the null device and its output
// and messages into `log`; the exit code, or -1 when it could not be started or waited for (why
// in `why`).
int RunProgram(const std::vector<std::string>& arguments, const std::string& log, std::string& why);

// What follows the "no signer" error: the command to sign with instead, where there is one.
std::string SignerAdvice(const std::string& output, const SignOptions& options);

}  // namespace pack
