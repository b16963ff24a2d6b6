#include "support/helper_programs.h"

#ifdef _WIN32

#include <cstring>

#include "support/sandbox.h"

namespace testing_support {

namespace {

constexpr DWORD kPollMs = 20;
constexpr DWORD kHolderTimeoutMs = 30000;  // starting a program under an emulator can take seconds

}  // namespace

ProcessJob::ProcessJob() {
    job_ = CreateJobObjectA(nullptr, nullptr);
    if (!job_) return;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job_, JobObjectExtendedLimitInformation, &limits, sizeof(limits))) {
        CloseHandle(job_);
        job_ = nullptr;
    }
}

ProcessJob::~ProcessJob() {
    if (job_) CloseHandle(job_);  // kills what is left
}

bool ProcessJob::Start(const std::string& exe, const std::string& commandLine, const std::string& folder,
                       PROCESS_INFORMATION* process, std::string* error) {
    if (!job_) {
        if (error) *error = "no job object";
        return false;
    }
    std::string text = commandLine;  // CreateProcessA may write into its command line
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    if (!CreateProcessA(exe.c_str(), text.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, process)) {
        if (error) *error = "cannot start " + commandLine + ": error " + std::to_string(GetLastError());
        return false;
    }
    if (!AssignProcessToJobObject(job_, process->hProcess)) {
        DWORD code = GetLastError();
        TerminateProcess(process->hProcess, 1);
        CloseHandle(process->hThread);
        CloseHandle(process->hProcess);
        if (error) *error = "cannot put " + exe + " in a job: error " + std::to_string(code);
        return false;
    }
    ResumeThread(process->hThread);
    return true;
}

DWORD ProcessJob::ActiveProcesses() const {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info = {};
    if (!job_ ||
        !QueryInformationJobObject(job_, JobObjectBasicAccountingInformation, &info, sizeof(info), nullptr))
        return 0;
    return info.ActiveProcesses;
}

bool ProcessJob::WaitUntilEmpty(DWORD timeoutMs) const {
    DWORD start = GetTickCount();
    while (ActiveProcesses() != 0) {
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(kPollMs);
    }
    return true;
}

void ProcessJob::Terminate(UINT exitCode) {
    if (!job_) return;
    TerminateJobObject(job_, exitCode);
    WaitUntilEmpty(5000);
}

std::vector<ProbeRecord> ReadProbeLog(const std::string& path) {
    std::vector<ProbeRecord> records;
    auto text = ReadFileText(path);
    if (!text) return records;
    ProbeRecord current;
    size_t start = 0;
    while (start < text->size()) {
        size_t end = text->find('\n', start);
        if (end == std::string::npos) end = text->size();
        std::string line = text->substr(start, end - start);
        start = end + 1;
        auto field = [&line](const char* name) -> const char* {
            size_t length = strlen(name);
            return line.compare(0, length, name) == 0 ? line.c_str() + length : nullptr;
        };
        if (const char* v = field("command line: "))
            current.commandLine = v;
        else if (const char* v = field("argument: "))
            current.arguments.push_back(v);
        else if (const char* v = field("current folder: "))
            current.currentFolder = v;
        else if (const char* v = field("platform: "))
            current.platform = v;
        else if (line == "end") {
            records.push_back(current);
            current = ProbeRecord();
        }
    }
    return records;
}

LockedFile::LockedFile(const std::string& path) {
    static int counter = 0;
    std::string name =
        "UninstTestHold-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
    ready_ = CreateEventA(nullptr, TRUE, FALSE, (name + "-ready").c_str());
    release_ = CreateEventA(nullptr, TRUE, FALSE, (name + "-release").c_str());
    if (!ready_ || !release_) {
        error_ = "cannot create the events " + name;
        return;
    }
    std::string holder = BuildFolder() + "file_holder.exe";
    std::string commandLine = "\"" + holder + "\" \"" + path + "\" " + name + "-ready " + name + "-release";
    PROCESS_INFORMATION process = {};
    if (!job_.Start(holder, commandLine, "", &process, &error_)) return;
    CloseHandle(process.hThread);
    process_ = process.hProcess;
    HANDLE waits[] = {ready_, process_};
    DWORD woke = WaitForMultipleObjects(2, waits, FALSE, kHolderTimeoutMs);
    if (woke == WAIT_OBJECT_0) {
        holding_ = true;
        return;
    }
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    error_ = woke == WAIT_OBJECT_0 + 1
                 ? "file_holder.exe could not hold " + path + ": exit code " + std::to_string(code)
                 : "file_holder.exe did not report in time";
}

LockedFile::~LockedFile() {
    Release();
    if (process_) CloseHandle(process_);
    if (ready_) CloseHandle(ready_);
    if (release_) CloseHandle(release_);
}

bool LockedFile::Release() {
    if (!holding_) return process_ == nullptr || WaitForSingleObject(process_, 0) == WAIT_OBJECT_0;
    SetEvent(release_);
    holding_ = false;
    if (WaitForSingleObject(process_, kHolderTimeoutMs) == WAIT_OBJECT_0) return true;
    job_.Terminate(1);
    return false;
}

}  // namespace testing_support

#endif  // _WIN32
