// The test libraries, driven by the platform's own regsvr32: the trace server records each call
// with the calling program and its current directory, the exiting server ends its host with 259,
// and the faulting server crashes it. The removal passes' tests rely on each behaviour.
#include <gtest/gtest.h>

#include "support/helper_programs.h"
#include "support/registry.h"
#include "support/sandbox.h"

using namespace testing_support;

namespace {

constexpr DWORD kRegsvrTimeoutMs = 60000;  // a crash report under an emulator takes seconds

struct Outcome {
    bool ended = false;
    DWORD exitCode = 0;
    std::string error;
};

// Runs "<System>\regsvr32.exe <options> "<library>"" from `folder` in a job, bounded.
Outcome Regsvr32(const std::string& options, const std::string& library, const std::string& folder) {
    Outcome outcome;
    char system[MAX_PATH] = {};
    UINT n = GetSystemDirectoryA(system, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return outcome;
    const std::string exe = std::string(system) + "\\regsvr32.exe";
    ProcessJob job;
    PROCESS_INFORMATION process = {};
    if (!job.Start(exe, "\"" + exe + "\" " + options + " \"" + library + "\"", folder, &process,
                   &outcome.error))
        return outcome;
    CloseHandle(process.hThread);
    // The whole job: a crashing regsvr32 hands over to the debugger, which ends it.
    outcome.ended = job.WaitUntilEmpty(kRegsvrTimeoutMs);
    GetExitCodeProcess(process.hProcess, &outcome.exitCode);
    CloseHandle(process.hProcess);
    if (!outcome.ended)
        outcome.error = "regsvr32 still running after " + std::to_string(kRegsvrTimeoutMs) + " ms";
    return outcome;
}

std::string Trace(const std::string& library) {
    return ReadFileText(library + ".trace").value_or("");
}

// Registering and unregistering call the exports in regsvr32, which leaves the current folder as
// it was given.
TEST(TestServers, TraceServerRecordsEachCall) {
    Sandbox box("TraceServer");
    const std::string dll = box.Path("App\\server.dll");
    ASSERT_FALSE(box.Make("App").empty());
    ASSERT_TRUE(CopyBuildFile("trace_server.dll", dll));
    Outcome registered = Regsvr32("/s", dll, box.path());
    ASSERT_TRUE(registered.ended) << registered.error;
    EXPECT_EQ(registered.exitCode, 0u);
    Outcome unregistered = Regsvr32("/u /s", dll, box.Path("App"));
    ASSERT_TRUE(unregistered.ended) << unregistered.error;
    EXPECT_EQ(unregistered.exitCode, 0u);
    EXPECT_EQ(Trace(dll), "register|regsvr32.exe|" + box.path() + "\r\nunregister|regsvr32.exe|" +
                              box.Path("App") + "\r\n");
}

// DllUnregisterServer ends its host with STILL_ACTIVE, the exit code a poll mistakes for running.
TEST(TestServers, ExitingServerEndsItsHostWith259) {
    Sandbox box("ExitingServer");
    const std::string dll = box.Path("exiting.dll");
    ASSERT_TRUE(CopyBuildFile("exiting_server.dll", dll));
    Outcome outcome = Regsvr32("/u /s", dll, box.path());
    ASSERT_TRUE(outcome.ended) << outcome.error;
    EXPECT_EQ(outcome.exitCode, static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_EQ(Trace(dll), "unregister|regsvr32.exe|" + box.path() + "\r\n");
}

// DllUnregisterServer faults: the host dies of it after the call was recorded. Wine's crash
// dialog would wait for a click; it is switched off for the whole prefix meanwhile, so the suite
// runs alone (its name ends in Serial).
TEST(TestServersSerial, FaultingServerCrashesItsHost) {
    ScopedValue noCrashDialog(HKEY_CURRENT_USER, "Software\\Wine\\WineDbg", "ShowCrashDialog",
                              RegValue::Dword(0));
    ASSERT_TRUE(noCrashDialog.ok());
    Sandbox box("FaultingServer");
    const std::string dll = box.Path("faulting.dll");
    ASSERT_TRUE(CopyBuildFile("faulting_server.dll", dll));
    Outcome outcome = Regsvr32("/u /s", dll, box.path());
    ASSERT_TRUE(outcome.ended) << outcome.error;
    // An access violation (0xC0000005); under a user-mode emulator the fault can reach Wine as an
    // illegal instruction (0xC000001D). Either way an exception code, not a return.
    EXPECT_EQ(outcome.exitCode & 0xF0000000u, 0xC0000000u) << std::hex << outcome.exitCode;
    EXPECT_EQ(Trace(dll), "unregister|regsvr32.exe|" + box.path() + "\r\n");
}

}  // namespace
