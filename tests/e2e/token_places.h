// Folders of a test's own below the folders that folder tokens name (the user's Programs menu, the
// application-data folder, ...), for the end-to-end tests of token entries: each holds a canary and
// goes with everything in it when made and when the object goes.
#pragma once

#include <windows.h>

#include <shlobj.h>

#include <string>
#include <utility>

#include "support/sandbox.h"
#include "support/snapshot.h"

namespace e2e_test {

// A shell folder as the tests ask for it (not through the uninstaller's own lookup), without a
// trailing backslash; empty when the platform has none.
inline std::string ShellFolder(int csidl) {
    char path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathA(nullptr, csidl, nullptr, 0, path))) return "";
    std::string folder = path;
    if (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
    return folder;
}

// A folder of the test's own below a token's folder: "<token folder>\<name>", holding a canary file
// that no run may touch; removed with everything in it when made and when it goes.
class TokenPlace {
  public:
    TokenPlace(std::string token, int csidl, const std::string& name)
        : token_(std::move(token)), tokenFolder_(ShellFolder(csidl)), folder_(tokenFolder_ + "\\" + name) {
        testing_support::RemoveTree(folder_);
        ok_ = !tokenFolder_.empty() && testing_support::MakeFolders(folder_) &&
              testing_support::WriteFileText(folder_ + "\\canary.txt", "stays");
    }
    ~TokenPlace() { testing_support::RemoveTree(folder_); }
    TokenPlace(const TokenPlace&) = delete;
    TokenPlace& operator=(const TokenPlace&) = delete;

    bool ok() const { return ok_; }
    const std::string& token() const { return token_; }
    const std::string& tokenFolder() const { return tokenFolder_; }
    const std::string& folder() const { return folder_; }
    // The stored folder "#Token#\<name>\<relative>", and the real path it names.
    std::string Stored(const std::string& relative) const { return token_ + "\\" + Name() + "\\" + relative; }
    std::string Real(const std::string& relative) const { return folder_ + "\\" + relative; }
    // The snapshot item of a path below the place: "<token>:<relative>".
    std::string Item(const std::string& relative) const { return token_ + ":" + relative; }
    testing_support::Snapshot Take() const { return testing_support::SnapshotFolder(folder_, token_ + ":"); }

  private:
    std::string Name() const { return testing_support::NameOf(folder_); }

    std::string token_, tokenFolder_, folder_;
    bool ok_ = false;
};

}  // namespace e2e_test
