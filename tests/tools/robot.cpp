// The standalone robot: answers the message boxes and dialogs of a process, or of a caption, and
// prints what it saw. The demo and the screenshot scripts run it under Wine beside the uninstaller.
//
//   robot.exe [--timeout SECONDS] [--answer LIST] --run PROGRAM [ARGUMENTS...]
//   robot.exe [--timeout SECONDS] [--answer LIST] --pid PROCESS-ID
//   robot.exe [--timeout SECONDS] [--answer LIST] [--count N] --caption TEXT
//
// LIST is a comma-separated list of replies for the modal windows in the order they appear; the
// last reply also answers every later one (default: ok). A reply is one of ok, cancel, yes, no,
// retry, enter, escape, close, none, click:ID or command:ID; "ok" and the other button names
// press Enter when the window has no such button. With --caption the robot stops after N modal
// windows (default 1). It prints the exit code of the process it watched. Its own exit code is 0
// when the process ended (or N windows were answered), 2 on a timeout (the process it started is
// then terminated), 1 on a usage error.
#include "support/robot.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr DWORD kStepMs = 15;

bool ParseReply(const std::string& word, robot::Reply& reply) {
    struct Named {
        const char* name;
        robot::Reply reply;
    } const named[] = {
        {"ok", robot::Click(IDOK)},  {"cancel", robot::Click(IDCANCEL)}, {"yes", robot::Click(IDYES)},
        {"no", robot::Click(IDNO)},  {"retry", robot::Click(IDRETRY)},   {"enter", robot::Enter()},
        {"escape", robot::Escape()}, {"close", robot::CloseBox()},       {"none", robot::Ignore()},
    };
    for (const Named& n : named) {
        if (word == n.name) {
            reply = n.reply;
            return true;
        }
    }
    for (const char* prefix : {"click:", "command:"}) {
        size_t length = strlen(prefix);
        if (word.compare(0, length, prefix) == 0 && word.size() > length) {
            int id = atoi(word.c_str() + length);
            reply = prefix[1] == 'l' ? robot::Click(id) : robot::Command(id);
            return true;
        }
    }
    return false;
}

bool ParseReplies(const std::string& list, std::vector<robot::Reply>& replies) {
    replies.clear();
    size_t start = 0;
    for (;;) {
        size_t comma = list.find(',', start);
        robot::Reply reply;
        if (!ParseReply(list.substr(start, comma == std::string::npos ? std::string::npos : comma - start),
                        reply)) {
            return false;
        }
        replies.push_back(reply);
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

// A named button that the window lacks is pressed as Enter, its default button.
robot::Responder Responder(std::vector<robot::Reply> replies) {
    robot::Reply last = replies.back();
    robot::Responder inOrder = robot::AnswerInOrder(std::move(replies), last);
    return [inOrder](const robot::SeenWindow& window, size_t modalIndex) {
        robot::Reply reply = inOrder(window, modalIndex);
        if (reply.action == robot::Action::kClick && !window.HasButton(reply.id)) reply = robot::Enter();
        return reply;
    };
}

std::string Quote(const char* argument) {
    std::string text = argument;
    if (!text.empty() && text.find_first_of(" \t") == std::string::npos) return text;
    return "\"" + text + "\"";
}

void PrintSeen(const robot::Watcher& watcher, size_t& printed) {
    for (; printed < watcher.seen().size(); ++printed) {
        printf("window %u: %s", static_cast<unsigned>(printed + 1),
               robot::Describe(watcher.seen()[printed]).c_str());
    }
    fflush(stdout);
}

int Usage() {
    fprintf(stderr,
            "usage: robot.exe [--timeout SECONDS] [--answer LIST] (--run PROGRAM [ARGS...] | --pid ID | "
            "[--count N] --caption TEXT)\n");
    return 1;
}

// Watches a process until it ends; prints its windows and its exit code.
int WatchUntilExit(HANDLE process, robot::Watcher& watcher, DWORD timeoutMs, bool terminate) {
    size_t printed = 0;
    DWORD start = GetTickCount();
    bool ended = false;
    while (!ended && GetTickCount() - start < timeoutMs) {
        ended = robot::WatchProcess(process, watcher, kStepMs * 4);
        PrintSeen(watcher, printed);
    }
    if (!ended) {
        printf("timeout: the process still runs after %lu s%s\n",
               static_cast<unsigned long>(timeoutMs / 1000), terminate ? "; terminated" : "");
        if (terminate) TerminateProcess(process, 0xDEAD);
        return 2;
    }
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    printf("exit code: %ld\n", static_cast<long>(static_cast<int>(code)));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    DWORD timeoutMs = 60000;
    std::vector<robot::Reply> replies = {robot::Click(IDOK)};
    size_t count = 1;
    int i = 1;
    for (; i < argc; ++i) {
        std::string option = argv[i];
        if (option == "--timeout" && i + 1 < argc) {
            timeoutMs = static_cast<DWORD>(atoi(argv[++i])) * 1000u;
        } else if (option == "--answer" && i + 1 < argc) {
            if (!ParseReplies(argv[++i], replies)) return Usage();
        } else if (option == "--count" && i + 1 < argc) {
            count = static_cast<size_t>(atoi(argv[++i]));
        } else {
            break;
        }
    }
    if (i + 1 >= argc) return Usage();
    std::string mode = argv[i++];

    if (mode == "--run") {
        std::string commandLine;
        for (int k = i; k < argc; ++k) commandLine += (k > i ? " " : "") + Quote(argv[k]);
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &process)) {
            fprintf(stderr, "robot: cannot start %s: error %lu\n", commandLine.c_str(), GetLastError());
            return 1;
        }
        CloseHandle(process.hThread);
        robot::Watcher watcher({process.dwProcessId, ""}, Responder(replies));
        int result = WatchUntilExit(process.hProcess, watcher, timeoutMs, true);
        CloseHandle(process.hProcess);
        return result;
    }
    if (mode == "--pid") {
        DWORD id = static_cast<DWORD>(strtoul(argv[i], nullptr, 0));
        HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, id);
        if (!process) {
            fprintf(stderr, "robot: no process %lu\n", static_cast<unsigned long>(id));
            return 1;
        }
        robot::Watcher watcher({id, ""}, Responder(replies));
        int result = WatchUntilExit(process, watcher, timeoutMs, false);
        CloseHandle(process);
        return result;
    }
    if (mode == "--caption") {
        robot::Watcher watcher({0, argv[i]}, Responder(replies));
        size_t printed = 0;
        DWORD start = GetTickCount();
        for (;;) {
            watcher.Poll();
            PrintSeen(watcher, printed);
            size_t modal = 0;
            for (const robot::SeenWindow& window : watcher.seen()) modal += window.modal ? 1 : 0;
            if (modal >= count) return 0;
            if (GetTickCount() - start >= timeoutMs) {
                printf("timeout: %u of %u windows seen\n", static_cast<unsigned>(modal),
                       static_cast<unsigned>(count));
                return 2;
            }
            Sleep(kStepMs);
        }
    }
    return Usage();
}
