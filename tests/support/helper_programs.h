// The helper programs of the tests (tests/tools) and the jobs that run them: a job whose processes
// cannot outlive it, the probe's record, and a file held open by another process. Windows only;
// free of the test framework.
//
// Usage:
//   ProcessJob job;                                    // everything started in it dies with it
//   job.Start(exe, "\"" + exe + "\" /x", folder, &process);  // ...and its children join it
//   job.WaitUntilEmpty(5000);                          // bounded: the program and its children ended
//
//   CopyBuildFile("probe.exe", app + "\\tool.exe");    // the probe under the name a test needs
//   std::vector<ProbeRecord> runs = ReadProbeLog(app + "\\tool.exe.log");
//   runs[0].arguments, runs[0].currentFolder, runs[0].platform ("2 6.1"; "1 4.10" on the 9x family)
//
//   LockedFile held(box.Path("App\\a.dll"));           // another process holds it, no sharing
//   ASSERT_TRUE(held.holding()) << held.error();
//   ... DeleteFileA fails with ERROR_SHARING_VIOLATION ...
//   held.Release();                                    // e.g. from a robot reply, before Retry
//   probe.exe --hold=<file>                            // holds until the test creates <file>, then
//                                                      // deletes it as its last act (tests/tools/probe.cpp)
// Test libraries (tests/dlls) and helper programs are built beside the test program:
// BuildFolder() + "trace_server.dll", "faulting_server.dll", "exiting_server.dll", "probe.exe",
// "file_holder.exe". Copy them into the sandbox before a run can delete them. "progress_hook.dll"
// records the uninstaller's progress display when a test sets its hook on the uninstaller's thread
// (tests/e2e/whole_run_wintest.cpp).
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <string>
#include <vector>

namespace testing_support {

// A job object with JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE: the processes started in it, and the ones
// they start, end when it goes (a batch left spinning included).
class ProcessJob {
  public:
    ProcessJob();
    ~ProcessJob();
    ProcessJob(const ProcessJob&) = delete;
    ProcessJob& operator=(const ProcessJob&) = delete;

    bool ok() const { return job_ != nullptr; }
    // Starts `commandLine` (program `exe`, current folder `folder` or the caller's when empty) in
    // the job: created suspended, assigned, then resumed, so that nothing it starts escapes. The
    // caller closes the handles in `process`. False with `error` set when it cannot be started.
    [[nodiscard]] bool Start(const std::string& exe, const std::string& commandLine,
                             const std::string& folder, PROCESS_INFORMATION* process, std::string* error);
    // The processes of the job that are still running.
    DWORD ActiveProcesses() const;
    // Polls until no process of the job is left; false when some still run after `timeoutMs`.
    bool WaitUntilEmpty(DWORD timeoutMs) const;
    // Ends every process of the job and waits (bounded) until they are gone.
    void Terminate(UINT exitCode);

  private:
    HANDLE job_ = nullptr;
};

// One start of the probe, as it recorded it.
struct ProbeRecord {
    std::string commandLine;
    std::vector<std::string> arguments;
    std::string currentFolder;
    std::string platform;  // "<platform id> <major>.<minor>"
};

// The records of a probe's log file, oldest first; empty when there is none.
std::vector<ProbeRecord> ReadProbeLog(const std::string& path);

// A file held open, without sharing, by file_holder.exe until Release or the end of the object.
class LockedFile {
  public:
    explicit LockedFile(const std::string& path);
    ~LockedFile();
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;

    bool holding() const { return holding_; }
    const std::string& error() const { return error_; }
    // Tells the holder to close the file and waits (bounded) until it has ended; true when the
    // file is free. Safe to call again.
    bool Release();

  private:
    ProcessJob job_;
    HANDLE ready_ = nullptr, release_ = nullptr, process_ = nullptr;
    bool holding_ = false;
    std::string error_;
};

}  // namespace testing_support

#endif  // _WIN32
