// The process's current directory: read whole, and put back by an owner where a step changes it
// (a library loaded from its own folder, a folder pass stepping out of the folders it removes).
#pragma once

#include "common/text.h"

// Reads the current directory into `path` (kPathBufferSize bytes), without a trailing backslash
// except on a root. False, with `path` empty, when it does not fit: the platform then writes nothing
// and returns the size it needs, and a cut path would name another folder.
[[nodiscard]] bool ReadCurrentFolder(char* path);

// Saves the current directory when it is made and makes it current again when it goes, if it could
// be read (and still exists: otherwise the current directory stays where the step left it).
class SavedCurrentFolder {
  public:
    SavedCurrentFolder() : saved_(ReadCurrentFolder(folder_)) {}
    ~SavedCurrentFolder();
    SavedCurrentFolder(const SavedCurrentFolder&) = delete;
    SavedCurrentFolder& operator=(const SavedCurrentFolder&) = delete;

  private:
    char folder_[kPathBufferSize];
    bool saved_;
};
