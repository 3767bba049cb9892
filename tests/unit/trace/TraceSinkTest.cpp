#include "trace/TraceSink.h"

#include "support/TraceCapture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> received;

class NamedSink : public TraceSink {
public:
    explicit NamedSink(const char* name) : name_(name) {}
    void WriteLine(const char* line) override { received.push_back(name_ + ":" + line); }

private:
    std::string name_;
};

class TraceSinkTest : public testing::Test {
protected:
    void SetUp() override { received.clear(); }
    void TearDown() override {
        TraceRemoveSink(&first_);
        TraceRemoveSink(&second_);
        TraceRemoveSink(&third_);
    }

    NamedSink first_{"first"};
    NamedSink second_{"second"};
    NamedSink third_{"third"};
};

TEST_F(TraceSinkTest, EverySinkGetsTheSameLineInListOrder) {
    TraceAddSink(&second_);
    TraceAddSink(&first_);
    TraceAddSink(&third_);
    TraceDeliver("line\n");
    EXPECT_EQ(received, (std::vector<std::string>{"second:line\n", "first:line\n", "third:line\n"}));
}

TEST_F(TraceSinkTest, RemovedSinkGetsNothingAndOthersKeepTheirOrder) {
    TraceAddSink(&first_);
    TraceAddSink(&second_);
    TraceAddSink(&third_);
    TraceRemoveSink(&second_);
    TraceRemoveSink(&second_);  // no longer registered: nothing changes
    TraceDeliver("x\n");
    EXPECT_EQ(received, (std::vector<std::string>{"first:x\n", "third:x\n"}));
    ASSERT_NE(TraceSinkList::Existing(), nullptr);
    EXPECT_EQ(TraceSinkList::Existing()->Count(), 2u);
}

// Past the list's first room the entries move into a larger block; order and removal
// must survive the move.
TEST_F(TraceSinkTest, ListKeepsOrderAsItGrows) {
    std::vector<NamedSink> sinks;
    for (const char* name : {"a", "b", "c", "d", "e", "f", "g", "h", "i"}) {
        sinks.emplace_back(name);
    }
    for (NamedSink& sink : sinks) {
        TraceAddSink(&sink);
    }
    TraceRemoveSink(&sinks[4]);
    TraceDeliver("n\n");
    for (const NamedSink& sink : sinks) {
        TraceRemoveSink(&sink);
    }
    EXPECT_EQ(received, (std::vector<std::string>{"a:n\n", "b:n\n", "c:n\n", "d:n\n", "f:n\n", "g:n\n", "h:n\n", "i:n\n"}));
    EXPECT_EQ(TraceSinkList::Existing()->Count(), 0u);
}

TEST_F(TraceSinkTest, OutputFormatsTheWholeLineAndEndsIt) {
    CapturingTraceSink sink;
    TraceOutput("%s <0x%x>: %s", "Label", 0xBEEFu, "50% done");
    TraceOutput("%s: %s", "Label", "");
    EXPECT_EQ(sink.lines, (std::vector<std::string>{"Label <0xbeef>: 50% done\n", "Label: \n"}));
}

TEST_F(TraceSinkTest, LineWithoutSinksIsDropped) {
    TraceDeliver("nobody listens\n");
    CapturingTraceSink sink;
    EXPECT_TRUE(sink.lines.empty());
    EXPECT_TRUE(received.empty());
}

}  // namespace
