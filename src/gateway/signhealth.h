#pragma once

#include <QString>

namespace zarnet::gateway {

// What a connection test came to.
enum class TestOutcome {
    Answered,
    NoAnswer,    // nothing within the line's answer time
    OtherDevice, // a controller with another number answered
    Garbled,     // bytes that are no reply: two controllers on one number, or noise
    Late,        // the sign's answer came after the wait was over
};

// Whether a sign answers, from its connection tests. A sign that misses two tests
// in a row is offline; it is tested again with back-off, so that a dead controller
// takes little of its line's time.
class SignHealth {
public:
    enum class State { Connecting, Online, Offline };

    static constexpr int RetryMs = 1000; // after a single miss
    static constexpr int FirstBackOffMs = 1000;
    static constexpr int MaxBackOffMs = 30000;

    State state() const { return state_; }
    int misses() const { return misses_; }

    // Each gives the milliseconds until the next test.
    int answered(int intervalMs);
    int missed();
    // The line under the sign failed: it is offline until the line is back and it answers.
    void lineDown();

private:
    State state_ = State::Connecting;
    int misses_ = 0;
    int backOffMs_ = FirstBackOffMs;
};

// A connection test's outcome; `detail` is the other device's number or the
// line's answer time in milliseconds.
struct TestResult {
    TestOutcome outcome = TestOutcome::Answered;
    int detail = 0;
};

// The result as the sign's reason, in English.
QString describe(const TestResult& result);
// A word for the outcome that a page can put into its own language.
QString outcomeKey(TestOutcome outcome);

} // namespace zarnet::gateway
