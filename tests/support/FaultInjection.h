// Test helpers that replace entries of platform::sys for one scope.
//
//   ScopedOverride swap(&platform::SystemApi::MessageBoxA, fakeMessageBox);
//   FailingCall<&platform::SystemApi::CoTaskMemAlloc> fail(3, nullptr);   // 3rd call fails
//
// Entries are restored when the helper goes out of scope, also when a test fails.
#pragma once

#include "platform/Platform.h"
#include "platform/SystemApi.h"

template <typename Fn>
class ScopedOverride {
public:
    ScopedOverride(Fn platform::SystemApi::*entry, Fn replacement)
        : entry_(entry), saved_(platform::sys.*entry) {
        platform::sys.*entry_ = replacement;
    }
    ~ScopedOverride() { platform::sys.*entry_ = saved_; }
    ScopedOverride(const ScopedOverride&) = delete;
    ScopedOverride& operator=(const ScopedOverride&) = delete;

    Fn Saved() const { return saved_; }

private:
    Fn platform::SystemApi::*entry_;
    Fn saved_;
};

// Counts the calls of one entry and makes call number `nth` (counted from 1) fail with
// `failure` and, when given, a last error; with `sticky`, every later call fails too.
// With `callFirst` a failing call still reaches the system and only its result is
// replaced: a close that closed, a move that moved, reporting failure all the same.
// nth = 0 only counts.  One instance per entry at a time.
template <auto Entry, typename = decltype(Entry)>
class FailingCall;

template <auto Entry, typename R, typename... A>
class FailingCall<Entry, R (*platform::SystemApi::*)(A...)> {
public:
    explicit FailingCall(int nth, R failure = R(), DWORD lastError = 0, bool sticky = false, bool callFirst = false)
        : swap_(Entry, &Hook) {
        state_ = State{nth, 0, failure, lastError, sticky, callFirst, swap_.Saved()};
    }
    ~FailingCall() { state_ = State{}; }
    FailingCall(const FailingCall&) = delete;
    FailingCall& operator=(const FailingCall&) = delete;

    int Calls() const { return state_.calls; }
    bool Failed() const { return state_.nth > 0 && state_.calls >= state_.nth; }

private:
    struct State {
        int nth = 0;
        int calls = 0;
        R failure = R();
        DWORD lastError = 0;
        bool sticky = false;
        bool callFirst = false;
        R (*real)(A...) = nullptr;
    };

    static R Hook(A... args) {
        ++state_.calls;
        const bool fail = state_.nth > 0 && (state_.calls == state_.nth || (state_.sticky && state_.calls > state_.nth));
        if (fail) {
            if (state_.callFirst) {
                state_.real(args...);
            }
            if (state_.lastError != 0) {
                SetLastError(state_.lastError);
            }
            return state_.failure;
        }
        return state_.real(args...);
    }

    ScopedOverride<R (*)(A...)> swap_;
    static inline State state_{};
};
