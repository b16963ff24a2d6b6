// Runs a callable when the scope ends, on every path out of it: the way state that was changed
// (the error mode, the current directory) is put back.
//
//     UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
//     ScopeExit restoreMode([&] { SetErrorMode(oldMode); });
#pragma once

template <class Action>
class ScopeExit {
  public:
    explicit ScopeExit(Action action) : action_(action) {}
    ~ScopeExit() {
        if (armed_) action_();
    }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

    // The action will not run: what it would undo is to stay.
    void Dismiss() { armed_ = false; }

  private:
    Action action_;
    bool armed_ = true;
};
