// File helpers: the loader, the lock probe and the font-name reader open, read and seek files only
// through these. Failures are reported by value.
#pragma once

#include <stdint.h>

#include "common/unique_handle.h"

#ifdef _WIN32
using FileHandle = void*;  // a HANDLE; the invalid one has all bits set
inline FileHandle const kInvalidFile = reinterpret_cast<void*>(static_cast<intptr_t>(-1));
#else
#include <stdio.h>
using FileHandle = FILE*;
inline FileHandle const kInvalidFile = nullptr;
#endif

enum OpenMode : int {
    kOpenRead = 0,       // read, others may read too
    kOpenWrite = 1,      // write, no sharing
    kOpenReadWrite = 2,  // read and write, others may read
};

[[nodiscard]] FileHandle OpenExisting(const char* path, int mode);
// 0 when exactly `count` bytes were read; 1 when the read failed or delivered fewer.
[[nodiscard]] int ReadExact(FileHandle file, void* buffer, uint32_t count);
uint32_t FilePosition(FileHandle file);
// Returns the new position; a position that is not the one asked for means the seek failed.
uint32_t SeekTo(FileHandle file, uint32_t position);
// The file's size in bytes, or false when it cannot be told.
[[nodiscard]] bool GetFileSize64(FileHandle file, uint64_t& size);
bool CloseFile(FileHandle file);

// Owns a file of these helpers: closed with CloseFile when the owner goes. Files opened here go
// in this owner; handles from other platform calls go in common/handles_win.h's.
struct FileHelperTraits {
    using Handle = FileHandle;
    static Handle Invalid() { return kInvalidFile; }
    static void Close(Handle file) { CloseFile(file); }
};
using UniqueFile = UniqueHandle<FileHelperTraits>;
