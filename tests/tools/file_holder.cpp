// Holds a file open without sharing, so that every other open and the deletion of it fail with a
// sharing violation, until told to let go:
//   file_holder.exe <file> <ready event> <release event>
// Opens the file, signals the ready event (both events are named and made by the caller), waits
// for the release event, closes the file and exits 0. Exit codes: 2 bad arguments, 3 the events
// cannot be opened, 4 the file cannot be opened. Started by testing_support::LockedFile, which
// runs it in a job so that it cannot outlive the test.
#include <windows.h>

#include <cstdlib>  // __argc, __argv

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (__argc != 4) return 2;
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, __argv[2]);
    HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, __argv[3]);
    if (!ready || !release) return 3;
    // Reading is enough to lock: sharing 0 refuses every other open. Read-only files can be held too.
    HANDLE file = CreateFileA(__argv[1], GENERIC_READ, 0 /* no sharing */, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 4;
    SetEvent(ready);
    WaitForSingleObject(release, INFINITE);
    CloseHandle(file);
    return 0;
}
