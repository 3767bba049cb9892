#include "trace/TraceScope.h"

#include "platform/SystemApi.h"
#include "support/FaultInjection.h"
#include "support/TraceCapture.h"
#include "support/RowName.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <stdexcept>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace {

// Everything the trace did, in order: each delivered line, and "<read>" for each counter
// reading.
std::vector<std::string> events;

class EventSink : public TraceSink {
public:
    void WriteLine(const char* line) override { events.emplace_back(line); }
};

// Stages the values of the counter readings and logs each reading.
class StagedCounter {
public:
    StagedCounter(LONGLONG first, LONGLONG second) : swap_(&platform::SystemApi::QueryPerformanceCounter, &Read) {
        readings_[0] = first;
        readings_[1] = second;
        next_ = 0;
    }
    StagedCounter(const StagedCounter&) = delete;
    StagedCounter& operator=(const StagedCounter&) = delete;

private:
    static BOOL Read(LARGE_INTEGER* counter) {
        events.emplace_back("<read>");
        counter->QuadPart = next_ < 2 ? readings_[next_++] : 0;
        return TRUE;
    }

    ScopedOverride<BOOL (*)(LARGE_INTEGER*)> swap_;
    static inline LONGLONG readings_[2] = {};
    static inline std::size_t next_ = 0;
};

std::string Hex(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(value));
    return text;
}

// Replaces every "{tid}" by the calling thread's identifier in lower-case hexadecimal.
std::vector<std::string> WithThreadId(std::vector<std::string> lines) {
    const std::string id = Hex(GetCurrentThreadId());
    for (std::string& line : lines) {
        for (std::size_t at = line.find("{tid}"); at != std::string::npos; at = line.find("{tid}")) {
            line.replace(at, 5, id);
        }
    }
    return lines;
}

class TraceScopeTest : public testing::Test {
protected:
    void SetUp() override {
        events.clear();
        TraceAddSink(&sink_);
    }
    void TearDown() override { TraceRemoveSink(&sink_); }

    EventSink sink_;
};

struct LayoutCase {
    const char* name;
    DWORD flags;
    std::vector<std::string> events;
};

void PrintTo(const LayoutCase& row, std::ostream* out) { *out << row.name; }

class TraceScopeLayout : public TraceScopeTest, public testing::WithParamInterface<LayoutCase> {};

TEST_P(TraceScopeLayout, LinesAndReadingsInOrder) {
    const LayoutCase& row = GetParam();
    ScopedTraceFlags flags(row.flags);
    StagedCounter counter(1000, 1042);
    { TraceScope scope("WinMain"); }
    EXPECT_EQ(events, WithThreadId(row.events));
}

// The start reading follows the opening line; the end reading precedes both closing lines.
INSTANTIATE_TEST_SUITE_P(
    Flags, TraceScopeLayout,
    testing::Values(
        LayoutCase{"None", 0, {}},
        LayoutCase{"ProgressBitIsNotTheScopes", TraceProgress, {}},
        LayoutCase{"ThreadIdAlone", TraceThreadId, {}},
        LayoutCase{"EntryExit", TraceEntryExit, {"WinMain: Entering\n", "WinMain: Exiting\n"}},
        LayoutCase{"Duration", TraceDuration, {"<read>", "<read>", "WinMain: Duration: 42 ticks.\n"}},
        LayoutCase{"EntryExitAndDuration",
                   TraceEntryExit | TraceDuration,
                   {"WinMain: Entering\n", "<read>", "<read>", "WinMain: Duration: 42 ticks.\n",
                    "WinMain: Exiting\n"}},
        LayoutCase{"AllWithThreadId",
                   TraceEntryExit | TraceDuration | TraceThreadId | TraceProgress,
                   {"WinMain <0x{tid}>: Entering\n", "<read>", "<read>",
                    "WinMain <0x{tid}>: Duration: 42 ticks.\n", "WinMain <0x{tid}>: Exiting\n"}}),
    RowName<LayoutCase>);

struct DifferenceCase {
    const char* name;
    LONGLONG start;
    LONGLONG end;
    const char* printed;
};

void PrintTo(const DifferenceCase& row, std::ostream* out) { *out << row.name; }

class TraceScopeDifference : public TraceScopeTest, public testing::WithParamInterface<DifferenceCase> {};

TEST_P(TraceScopeDifference, PrintsLow32BitsOfDifferenceAsSigned) {
    const DifferenceCase& row = GetParam();
    ScopedTraceFlags flags(TraceDuration);
    StagedCounter counter(row.start, row.end);
    { TraceScope scope("WinMain"); }
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[2], std::string("WinMain: Duration: ") + row.printed + " ticks.\n");
}

INSTANTIATE_TEST_SUITE_P(
    Readings, TraceScopeDifference,
    testing::Values(DifferenceCase{"Small", 1000, 1042, "42"},
                    DifferenceCase{"LargestPositive", 0, 0x7FFFFFFF, "2147483647"},
                    DifferenceCase{"TwoToThe31IsNegative", 0, 0x80000000LL, "-2147483648"},
                    DifferenceCase{"HighBitsDropped", 7, 0x100000007LL + 5, "5"},
                    DifferenceCase{"Backwards", 50, 40, "-10"},
                    DifferenceCase{"WrapsIn64Bits", -5, 0x7FFFFFFFFFFFFFFFLL, "4"}),
    RowName<DifferenceCase>);

TEST_F(TraceScopeTest, ClosingLinesWhenAnExceptionLeavesTheScope) {
    ScopedTraceFlags flags(TraceEntryExit);
    EXPECT_THROW(
        {
            TraceScope scope("WinMain");
            throw std::runtime_error("leaving");
        },
        std::runtime_error);
    EXPECT_EQ(events, (std::vector<std::string>{"WinMain: Entering\n", "WinMain: Exiting\n"}));
}

TEST_F(TraceScopeTest, PrintInterpretsOnlyTheCallersFormat) {
    ScopedTraceFlags flags(0);  // Print tests no bit but the thread id's
    TraceScope scope("50%s done");
    scope.Print("rate %d%% of %s", 5, "%x");
    scope.Print("Looking for Cameras!");
    EXPECT_EQ(events, (std::vector<std::string>{"50%s done: rate 5% of %x\n", "50%s done: Looking for Cameras!\n"}));
}

TEST_F(TraceScopeTest, ThreadIdIsTheCallingThreads) {
    ScopedTraceFlags flags(TraceEntryExit | TraceThreadId);
    DWORD workerId = 0;
    std::thread worker([&workerId] {
        workerId = GetCurrentThreadId();
        TraceScope scope("Worker");
    });
    worker.join();
    ASSERT_NE(workerId, GetCurrentThreadId());
    const std::string prefix = "Worker <0x" + Hex(workerId) + ">: ";
    EXPECT_EQ(events, (std::vector<std::string>{prefix + "Entering\n", prefix + "Exiting\n"}));
}

// Lines measured without their line end.  The buffer holds 1023 characters and the
// terminator; the line end must always fit.
struct CutCase {
    const char* name;
    std::size_t messageLength;  // after "L: "
    std::size_t deliveredLength;
    char lastKept;
};

void PrintTo(const CutCase& row, std::ostream* out) { *out << row.name; }

class TraceScopeCut : public TraceScopeTest, public testing::WithParamInterface<CutCase> {};

TEST_P(TraceScopeCut, LineEndsWithLineFeedWithinTheBuffer) {
    const CutCase& row = GetParam();
    std::string message(row.messageLength - 1, 'a');
    message += 'Z';
    TraceScope scope("L");
    scope.Print("%s", message.c_str());
    ASSERT_EQ(events.size(), 1u);
    const std::string& line = events[0];
    EXPECT_EQ(line.size(), row.deliveredLength);
    EXPECT_EQ(line.compare(0, 4, "L: a"), 0);
    ASSERT_GE(line.size(), 2u);
    EXPECT_EQ(line[line.size() - 2], row.lastKept);
    EXPECT_EQ(line.back(), '\n');
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, TraceScopeCut,
    testing::Values(CutCase{"ShortOfTheLimit", 1018, 1022, 'Z'},
                    CutCase{"LineOf1022Fits", 1019, 1023, 'Z'},
                    CutCase{"LineOf1023GivesWayToLineEnd", 1020, 1023, 'a'},
                    CutCase{"MessageOf1023", 1023, 1023, 'a'},
                    CutCase{"MessageBeyond1023", 3000, 1023, 'a'}),
    RowName<CutCase>);

TEST_F(TraceScopeTest, LongLabelAndThreadIdCutToo) {
    ScopedTraceFlags flags(TraceThreadId);
    const std::string label(1500, 'b');
    TraceScope scope(label.c_str());
    scope.Print("message");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0], std::string(1022, 'b') + "\n");
}

}  // namespace
