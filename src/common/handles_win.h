// Owners for the platform's handles (common/unique_handle.h), one traits type per kind of handle.
// Declare them in the narrowest scope: the handle is closed when the owner goes.
#pragma once

#include <windows.h>

#include "common/unique_handle.h"

// A file or device opened with CreateFileA: invalid at INVALID_HANDLE_VALUE, not at null.
struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle handle) { CloseHandle(handle); }
};

// A directory search from FindFirstFileA: invalid at INVALID_HANDLE_VALUE, closed with FindClose.
struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle handle) { FindClose(handle); }
};

// A process, thread or other kernel object: invalid at null.
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle handle) { CloseHandle(handle); }
};

// A registry key this program opened. Never put a predefined root (HKEY_LOCAL_MACHINE, ...) in one.
struct RegistryKeyTraits {
    using Handle = HKEY;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle handle) { RegCloseKey(handle); }
};

// A library from LoadLibraryA; never one from GetModuleHandleA, which holds no reference.
struct LibraryTraits {
    using Handle = HMODULE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle handle) { FreeLibrary(handle); }
};

// A GDI object this program created (a font, a bitmap, ...); never a stock object.
template <class Object>
struct GdiObjectTraits {
    using Handle = Object;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle handle) { DeleteObject(handle); }
};

using UniqueFileHandle = UniqueHandle<FileHandleTraits>;
using UniqueFindHandle = UniqueHandle<FindHandleTraits>;
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueRegistryKey = UniqueHandle<RegistryKeyTraits>;
using UniqueLibrary = UniqueHandle<LibraryTraits>;
using UniqueFont = UniqueHandle<GdiObjectTraits<HFONT>>;

// Both handles CreateProcessA returns, closed together.
struct UniqueProcessInfo {
    UniqueKernelHandle process;
    UniqueKernelHandle thread;

    // Takes both handles of `info` as CreateProcessA filled it.
    void Take(const PROCESS_INFORMATION& info) {
        process.reset(info.hProcess);
        thread.reset(info.hThread);
    }
};
