#include "common/nt_files.h"

#include <winternl.h>

#include "common/system_library.h"

namespace {

// The native calls and their constants; the headers of older targets lack some of them.
using NtCreateFileFn = LONG(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                    PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using NtQueryObjectFn = LONG(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
using NtSetInformationFileFn = LONG(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, ULONG);
using RtlNtStatusToDosErrorFn = ULONG(NTAPI*)(LONG);
using NtDeleteKeyFn = LONG(NTAPI*)(HANDLE);
using RedirectionOffFn = BOOL(WINAPI*)(PVOID*);
using RedirectionBackFn = BOOL(WINAPI*)(PVOID);

constexpr ULONG kFileOpen = 1;                   // FILE_OPEN
constexpr ULONG kDirectoryFile = 0x00000001;     // FILE_DIRECTORY_FILE
constexpr ULONG kSynchronousIo = 0x00000020;     // FILE_SYNCHRONOUS_IO_NONALERT
constexpr ULONG kNonDirectoryFile = 0x00000040;  // FILE_NON_DIRECTORY_FILE
constexpr ULONG kOpenForBackup = 0x00004000;     // FILE_OPEN_FOR_BACKUP_INTENT
constexpr ULONG kOpenReparsePoint = 0x00200000;  // FILE_OPEN_REPARSE_POINT
constexpr ULONG kObjectNameInformation = 1;      // OBJECT_INFORMATION_CLASS
constexpr ULONG kFileBasicInformation = 4;       // FILE_INFORMATION_CLASS
constexpr ULONG kFileDispositionInformation = 13;
constexpr ULONG kCaseInsensitive = 0x00000040;  // OBJ_CASE_INSENSITIVE

struct NtCalls {
    bool looked;
    NtCreateFileFn createFile;
    NtQueryObjectFn queryObject;
    NtSetInformationFileFn setInformation;
    RtlNtStatusToDosErrorFn toDosError;
    NtDeleteKeyFn deleteKey;
    RedirectionOffFn redirectionOff;  // WOW64's file-system redirection, on 64-bit Windows
    RedirectionBackFn redirectionBack;
};
NtCalls g_calls;

const NtCalls& Calls() {
    if (!g_calls.looked) {
        g_calls.looked = true;
        // ntdll is in every NT process from its start; the 9x family has no such library.
        if (HMODULE ntdll = GetModuleHandleA("ntdll.dll")) {
            auto find = [&](const char* name) {
                return reinterpret_cast<void*>(GetProcAddress(ntdll, name));
            };
            g_calls.createFile = reinterpret_cast<NtCreateFileFn>(find("NtCreateFile"));
            g_calls.queryObject = reinterpret_cast<NtQueryObjectFn>(find("NtQueryObject"));
            g_calls.setInformation = reinterpret_cast<NtSetInformationFileFn>(find("NtSetInformationFile"));
            g_calls.toDosError = reinterpret_cast<RtlNtStatusToDosErrorFn>(find("RtlNtStatusToDosError"));
            g_calls.deleteKey = reinterpret_cast<NtDeleteKeyFn>(find("NtDeleteKey"));
            g_calls.redirectionOff = FindKernelExport<RedirectionOffFn>("Wow64DisableWow64FsRedirection");
            g_calls.redirectionBack = FindKernelExport<RedirectionBackFn>("Wow64RevertWow64FsRedirection");
        }
    }
    return g_calls;
}

DWORD ErrorOf(LONG status) {
    if (status >= 0) return 0;
    DWORD error = Calls().toDosError ? Calls().toDosError(status) : ERROR_ACCESS_DENIED;
    return error != 0 ? error : ERROR_ACCESS_DENIED;
}

// The object name of `object` into `name`: its length in UTF-16 units without a trailing backslash,
// or 0 when it cannot be read whole. A file's name costs one request.
uint32_t ReadObjectName(HANDLE object, wchar_t* name) {
    const NtCalls& calls = Calls();
    if (!calls.queryObject) return 0;
    // UNICODE_STRING followed by the characters.
    alignas(8) unsigned char buffer[sizeof(UNICODE_STRING) + kObjectNameSize * sizeof(wchar_t)];
    ULONG returned = 0;
    if (calls.queryObject(object, kObjectNameInformation, buffer, sizeof buffer, &returned) < 0) return 0;
    const UNICODE_STRING& found = *reinterpret_cast<const UNICODE_STRING*>(buffer);
    uint32_t length = found.Length / sizeof(wchar_t);
    if (length == 0 || length >= kObjectNameSize || !found.Buffer) return 0;
    for (uint32_t i = 0; i < length; ++i) name[i] = found.Buffer[i];
    if (name[length - 1] == L'\\') --length;  // a drive root's name ends with its separator
    name[length] = L'\0';
    return length;
}

// Equal UTF-16 texts of `length` units, case aside as the system's upper-casing has it.
bool EqualNoCase(const wchar_t* a, const wchar_t* b, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i) {
        wchar_t x = a[i];
        wchar_t y = b[i];
        if (x == y) continue;
        // One character at a time: the system's table, not the C runtime's.
        CharUpperBuffW(&x, 1);
        CharUpperBuffW(&y, 1);
        if (x != y) return false;
    }
    return true;
}

}  // namespace

bool HaveNtFileCalls() {
    const NtCalls& calls = Calls();
    return calls.createFile && calls.queryObject && calls.setInformation && calls.toDosError;
}

HANDLE OpenFolder(const char* path, DWORD extraAccess, bool followLink) {
    return CreateFileA(path,
                       FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE | extraAccess,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
}

DWORD AttributesOfHandle(HANDLE object) {
    BY_HANDLE_FILE_INFORMATION info;
    return GetFileInformationByHandle(object, &info) ? info.dwFileAttributes : INVALID_FILE_ATTRIBUTES;
}

bool IsReparsePointHandle(HANDLE object) {
    DWORD attributes = AttributesOfHandle(object);
    return attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool HoldFolder(HANDLE folder, HeldFolder& held) {
    held.handle = folder;
    held.nameLength = ReadObjectName(folder, held.name);
    if (held.nameLength != 0) return true;
    ReleaseFolder(held);
    return false;
}

void ReleaseFolder(HeldFolder& held) {
    if (held.handle != INVALID_HANDLE_VALUE && held.handle != nullptr) CloseHandle(held.handle);
    held.handle = INVALID_HANDLE_VALUE;
    held.nameLength = 0;
}

ChildOpen OpenChild(const HeldFolder& parent, const char* name, ChildKind kind, DWORD access, DWORD share,
                    ULONG disposition) {
    ChildOpen result = {INVALID_HANDLE_VALUE, ERROR_INVALID_NAME};
    const NtCalls& calls = Calls();
    wchar_t wide[kObjectNameSize];
    int n = MultiByteToWideChar(CP_ACP, 0, name, -1, wide, kObjectNameSize);
    // One component: a separator would reach below another folder, "." this one and ".." the one
    // above (Wine resolves them in the Unix path it builds).
    if (!calls.createFile || n <= 1) return result;
    if (wide[0] == L'.' && (n == 2 || (n == 3 && wide[1] == L'.'))) return result;
    for (int i = 0; i + 1 < n; ++i) {
        if (wide[i] == L'\\' || wide[i] == L'/') return result;
    }
    UNICODE_STRING text;
    text.Buffer = wide;
    text.Length = static_cast<USHORT>((n - 1) * sizeof(wchar_t));
    text.MaximumLength = text.Length;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, kCaseInsensitive, parent.handle, nullptr);
    IO_STATUS_BLOCK io;
    ULONG options = kSynchronousIo | kOpenReparsePoint |
                    (kind == ChildKind::kFolder ? kDirectoryFile | kOpenForBackup : kNonDirectoryFile);
    HANDLE opened = nullptr;
    // The child of the judged folder and nothing else: WOW64 would redirect a name opened relative to
    // the 64-bit System folder (held through Sysnative) to SysWOW64, so its redirection is off for
    // the open.
    PVOID redirection = nullptr;
    bool off = calls.redirectionOff && calls.redirectionBack && calls.redirectionOff(&redirection);
    LONG status = calls.createFile(&opened, access | SYNCHRONIZE, &attributes, &io, nullptr,
                                   FILE_ATTRIBUTE_NORMAL, share, disposition, options, nullptr, 0);
    if (off) calls.redirectionBack(redirection);
    if (status < 0) {
        result.error = ErrorOf(status);
        return result;
    }
    result.handle = opened;
    result.error = 0;
    return result;
}

bool HasObjectName(HANDLE object, const wchar_t* expected, uint32_t expectedLength) {
    wchar_t name[kObjectNameSize];
    uint32_t length = ReadObjectName(object, name);
    return length != 0 && length == expectedLength && EqualNoCase(name, expected, length);
}

bool IsChildOf(HANDLE object, const HeldFolder& parent, const char* name) {
    wchar_t expected[kObjectNameSize];
    uint32_t length = parent.nameLength;
    if (length == 0 || length + 2 >= kObjectNameSize) return false;
    for (uint32_t i = 0; i < length; ++i) expected[i] = parent.name[i];
    expected[length++] = L'\\';
    int n = MultiByteToWideChar(CP_ACP, 0, name, -1, expected + length,
                                static_cast<int>(kObjectNameSize - length));
    if (n <= 1) return false;
    return HasObjectName(object, expected, length + static_cast<uint32_t>(n - 1));
}

DWORD DeleteThroughHandle(HANDLE object) {
    const NtCalls& calls = Calls();
    if (!calls.setInformation) return ERROR_INVALID_FUNCTION;
    BOOLEAN remove = TRUE;  // FILE_DISPOSITION_INFORMATION
    IO_STATUS_BLOCK io;
    return ErrorOf(calls.setInformation(object, &io, &remove, sizeof remove, kFileDispositionInformation));
}

DWORD DeleteKeyThroughHandle(HKEY key) {
    const NtCalls& calls = Calls();
    return calls.deleteKey ? ErrorOf(calls.deleteKey(key)) : ERROR_INVALID_FUNCTION;
}

bool SetReadOnlyThroughHandle(HANDLE object, DWORD attributes, bool readOnly) {
    const NtCalls& calls = Calls();
    if (!calls.setInformation || attributes == INVALID_FILE_ATTRIBUTES) return false;
    // FILE_BASIC_INFORMATION: four times (zero: unchanged) and the attributes.
    struct {
        LARGE_INTEGER times[4];
        ULONG attributes;
    } basic = {};
    DWORD bits = readOnly ? (attributes | FILE_ATTRIBUTE_READONLY) : (attributes & ~FILE_ATTRIBUTE_READONLY);
    // No bit left means "normal", which the platform wants said (0 means "no change").
    basic.attributes = bits != 0 ? bits : FILE_ATTRIBUTE_NORMAL;
    IO_STATUS_BLOCK io;
    return calls.setInformation(object, &io, &basic, sizeof basic, kFileBasicInformation) >= 0;
}
