// Test support: the run-state fixture (support/test_run.h) with a message table and the user
// interface started, as the driver has it after loading, with the hidden main window. Windows only.
//
// Usage:
//   testing_support::UiSession session;            // sample messages, main window
//   ASSERT_TRUE(session.ready());
//   ShowSomething(session.run()); session.Message(format::kMsgCaption);
#pragma once

#ifdef _WIN32
#include <string>
#include <vector>

#include "run/run_state.h"
#include "support/test_run.h"

namespace testing_support {

// Sample texts for messages 0 to 15; ampersands where the dialogs must show or hide them.
std::vector<std::string> SampleMessages();

class UiSession {
  public:
    // Loads `messages` as the message table, starts the user interface and, unless told not to,
    // registers the window class and creates the hidden main window.
    explicit UiSession(const std::vector<std::string>& messages = SampleMessages(),
                       bool withMainWindow = true);
    // Destroys what is left of the windows, unregisters the class, releases the user interface
    // and empties the thread's message queue.
    ~UiSession();
    UiSession(const UiSession&) = delete;
    UiSession& operator=(const UiSession&) = delete;

    RunState& run() { return test_.run; }
    bool ready() const { return ready_; }
    const char* Message(int number) const;

  private:
    TestRun test_;  // the block it loads is freed with it
    bool ready_ = false;
};

}  // namespace testing_support
#endif
