#include "common/file_io.h"

#ifdef _WIN32
#include <windows.h>

FileHandle OpenExisting(const char* path, int mode) {
    DWORD access = GENERIC_READ;
    DWORD share = FILE_SHARE_READ;
    if (mode == kOpenWrite) {
        access = GENERIC_WRITE;
        share = 0;
    } else if (mode == kOpenReadWrite) {
        access = GENERIC_READ | GENERIC_WRITE;
    }
    return CreateFileA(path, access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

int ReadExact(FileHandle file, void* buffer, uint32_t count) {
    DWORD read = 0;
    if (!ReadFile(file, buffer, count, &read, nullptr)) return 1;
    return read == count ? 0 : 1;
}

uint32_t FilePosition(FileHandle file) {
    return SetFilePointer(file, 0, nullptr, FILE_CURRENT);
}

uint32_t SeekTo(FileHandle file, uint32_t position) {
    // The distance is signed: positions of 2 GiB and more fail and leave the pointer where it was.
    return SetFilePointer(file, static_cast<LONG>(position), nullptr, FILE_BEGIN);
}

bool GetFileSize64(FileHandle file, uint64_t& size) {
    DWORD high = 0;
    DWORD low = GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
    size = (static_cast<uint64_t>(high) << 32) | low;
    return true;
}

bool CloseFile(FileHandle file) {
    return CloseHandle(file) != 0;
}

#else

FileHandle OpenExisting(const char* path, int mode) {
    const char* how = mode == kOpenWrite ? "r+b" : mode == kOpenReadWrite ? "r+b" : "rb";
    return fopen(path, how);
}

int ReadExact(FileHandle file, void* buffer, uint32_t count) {
    return fread(buffer, 1, count, file) == count ? 0 : 1;
}

uint32_t FilePosition(FileHandle file) {
    return static_cast<uint32_t>(ftell(file));
}

uint32_t SeekTo(FileHandle file, uint32_t position) {
    // Mirror the platform: a position beyond the signed 32-bit range fails and stays put.
    if (position > 0x7FFFFFFFu || fseek(file, static_cast<long>(position), SEEK_SET) != 0) {
        return static_cast<uint32_t>(-1);
    }
    return position;
}

bool GetFileSize64(FileHandle file, uint64_t& size) {
    long here = ftell(file);
    if (here < 0 || fseek(file, 0, SEEK_END) != 0) return false;
    long end = ftell(file);
    if (end < 0 || fseek(file, here, SEEK_SET) != 0) return false;
    size = static_cast<uint64_t>(end);
    return true;
}

bool CloseFile(FileHandle file) {
    return fclose(file) == 0;
}
#endif
