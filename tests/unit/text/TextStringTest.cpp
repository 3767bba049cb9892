#include "text/TextString.h"

#include "com/ComError.h"
#include "com/WideStringHandle.h"
#include "platform/SystemApi.h"
#include "support/Tracking.h"
#include "support/AllocationLedger.h"
#include "support/FailingFormat.h"
#include "support/RaisedStatus.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

namespace {

using platform::SystemApi;

std::string Bytes(const TextString& s) { return std::string(s.Text(), s.Length()); }

// Text of exactly these bytes, zeros included, through the writable-buffer protocol.
TextString WithBytes(const std::string& bytes) {
    TextString s;
    char* area = s.GetWriteBuffer(static_cast<int>(bytes.size()));
    std::memcpy(area, bytes.data(), bytes.size());
    s.ReleaseWriteBuffer(static_cast<int>(bytes.size()));
    return s;
}

// True if the string holds exactly `length` + 1 bytes: a writable area of `length` bytes
// must then be the buffer it has, and one byte more must grow it.
bool IsExactFit(TextString& s) {
    const std::string before = Bytes(s);
    const int length = static_cast<int>(s.Length());
    const char* held = s.Text();
    const char* fitting = s.GetWriteBuffer(length);
    s.ReleaseWriteBuffer(length);
    const char* grown = s.GetWriteBuffer(length + 1);
    s.ReleaseWriteBuffer(length);
    return (length == 0 || fitting == held) && grown != fitting && Bytes(s) == before;
}

TEST(TextString, EmptyStringsGiveANonNullEmptyText) {
    TextString fresh;
    TextString cleared("text");
    cleared.Clear();
    const TextString copiedEmpty(fresh);
    TextString assignedNull("text");
    assignedNull = static_cast<const char*>(nullptr);
    TextString wideNull("text");
    wideNull.AssignWide(nullptr);
    const TextString narrowNull(static_cast<const char*>(nullptr));
    for (const TextString* s : std::initializer_list<const TextString*>{&fresh, &cleared, &copiedEmpty, &assignedNull, &wideNull, &narrowNull}) {
        ASSERT_NE(nullptr, s->Text());
        EXPECT_STREQ("", s->Text());
        EXPECT_EQ(0u, s->Length());
    }
}

TEST(TextString, AssignmentAndCopyAllocateAnExactFit) {
    TaskAllocationLog log;
    TextString s("abc");
    EXPECT_EQ(std::vector<SIZE_T>{4}, TaskAllocationLog::Sizes());
    EXPECT_STREQ("abc", s.Text());
    EXPECT_EQ(3u, s.Length());

    TextString copy(s);
    EXPECT_NE(s.Text(), copy.Text());
    EXPECT_TRUE(IsExactFit(copy));

    s = "longer text";
    EXPECT_TRUE(IsExactFit(s));
    copy = s;
    EXPECT_STREQ("longer text", copy.Text());
    EXPECT_TRUE(IsExactFit(copy));

    const TextString empty;
    const TextString copiedEmpty(empty);
    EXPECT_EQ(1u, TaskAllocationLog::Sizes().back());  // a one-byte buffer holding only the terminator
}

TEST(TextString, ACopyKeepsZeroBytesInsideTheLengthAndNarrowTextStopsAtTheFirst) {
    const TextString withZeros = WithBytes(std::string("ab\0cd", 5));
    ASSERT_EQ(5u, withZeros.Length());

    const TextString copy(withZeros);
    EXPECT_EQ(std::string("ab\0cd", 5), Bytes(copy));
    TextString assigned;
    assigned = withZeros;
    EXPECT_EQ(std::string("ab\0cd", 5), Bytes(assigned));

    const TextString narrow(withZeros.Text());
    EXPECT_EQ("ab", Bytes(narrow));
}

TEST(TextString, AssigningItsOwnTextOrItselfChangesNothing) {
    TextString s("same");
    const char* before = s.Text();
    TaskAllocationLog log;
    s = s.Text();
    const TextString& self = s;
    s = self;
    EXPECT_EQ(before, s.Text());
    EXPECT_STREQ("same", s.Text());
    EXPECT_TRUE(TaskAllocationLog::Sizes().empty());
}

TEST(TextString, WritableBufferOnAnEmptyStringIsZeroed) {
    TextString s;
    char* area = s.GetWriteBuffer(10);
    ASSERT_NE(nullptr, area);
    EXPECT_EQ(std::string(11, '\0'), std::string(area, 11));
    EXPECT_EQ(0u, s.Length());

    std::memcpy(area, "xyz", 3);
    s.ReleaseWriteBuffer(-1);
    EXPECT_EQ("xyz", Bytes(s));

    TextString counted;
    std::memcpy(counted.GetWriteBuffer(10), "xyz", 3);
    counted.ReleaseWriteBuffer(2);
    EXPECT_EQ("xy", Bytes(counted));
}

TEST(TextString, WritableBufferWithinTheCapacityIsTheSameBufferWithItsText) {
    TextString s("hello");
    const char* text = s.Text();
    char* area = s.GetWriteBuffer(3);
    EXPECT_EQ(text, area);
    EXPECT_STREQ("hello", area);
    EXPECT_EQ(5u, s.Length());
    s.ReleaseWriteBuffer(3);
    EXPECT_EQ("hel", Bytes(s));
}

TEST(TextString, GrowingTheWritableBufferKeepsTheOldTextUntilTheRelease) {
    TextString s("hi");
    char* area = s.GetWriteBuffer(6);
    EXPECT_EQ(std::string("hi\0\0\0\0\0", 7), std::string(area, 7));
    EXPECT_EQ(2u, s.Length());
    EXPECT_STREQ("hi", s.Text());
    std::memcpy(area + 2, "gher", 4);
    s.ReleaseWriteBuffer(-1);
    EXPECT_EQ("higher", Bytes(s));
}

TEST(TextString, ReleasingAWritableBufferWithoutATerminatorEmptiesTheString) {
    TextString s;
    std::memset(s.GetWriteBuffer(3), 'x', 4);  // the whole capacity, terminator included
    s.ReleaseWriteBuffer(-1);
    EXPECT_EQ(0u, s.Length());
    EXPECT_STREQ("", s.Text());
}

TEST(TextString, WritableBufferCountsOutsideTheBufferAreRefused) {
    TextString s("abc");
    const struct {
        const char* name;
        std::function<void()> act;
    } cases[] = {
        {"negative request", [&s] { s.GetWriteBuffer(-2); }},
        {"release beyond the buffer", [&s] { s.ReleaseWriteBuffer(4); }},
        {"release below -1", [&s] { s.ReleaseWriteBuffer(-2); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(E_INVALIDARG, RaisedStatus(c.act));
        EXPECT_STREQ("abc", s.Text());
    }
    TextString empty;
    EXPECT_THROW(empty.ReleaseWriteBuffer(0), _com_error);
}

TEST(TextString, LeftAndMidCountCharacters) {
    const TextString path("E:\\");
    const struct {
        const char* name;
        TextString result;
        const char* expected;
    } cases[] = {
        {"Left 1 is the drive letter", path.Left(1), "E"},
        {"Left beyond the text is the whole text", path.Left(99), "E:\\"},
        {"Left 0 is empty", path.Left(0), ""},
        {"Mid inside", path.Mid(1, 1), ":"},
        {"Mid running past the end", path.Mid(1, 99), ":\\"},
        {"Mid from the length is empty", path.Mid(3, 1), ""},
        {"Mid from beyond the length is empty", path.Mid(4, 1), ""},
        {"Mid with a huge count", path.Mid(2, 0xFFFFFFFFu), "\\"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_STREQ(c.expected, c.result.Text());
        EXPECT_EQ(std::strlen(c.expected), c.result.Length());
    }

    TextString part = path.Left(2);
    EXPECT_TRUE(IsExactFit(part));
}

TEST(TextString, AssignWideConvertsIntoOneExactAllocation) {
    TextString s("old");
    TaskAllocationLog log;
    s.AssignWide(OLESTR("E:\\Current"));
    EXPECT_STREQ("E:\\Current", s.Text());
    EXPECT_EQ(10u, s.Length());
    EXPECT_EQ(std::vector<SIZE_T>{11}, TaskAllocationLog::Sizes());

    s.AssignWide(OLESTR(""));
    EXPECT_EQ(0u, s.Length());
    EXPECT_STREQ("", s.Text());
}

TEST(TextString, AssignWideGivesEmptyTextWhenTheConversionFails) {
    for (const int failingCall : {1, 2}) {
        SCOPED_TRACE(failingCall);
        TextString s("old");
        FailingCall<&SystemApi::WideCharToMultiByte> fail(failingCall, 0, ERROR_INVALID_PARAMETER);
        EXPECT_NO_THROW(s.AssignWide(OLESTR("text")));
        EXPECT_EQ(0u, s.Length());
        EXPECT_STREQ("", s.Text());
    }
}

TEST(TextString, FromAWideStringHandleTakesItsNarrowCopy) {
    const WideStringHandle handle(OLESTR("RQ5600"));
    const TextString s(handle);
    EXPECT_STREQ("RQ5600", s.Text());
    EXPECT_NE(handle.Narrow(), s.Text());  // a copy of its own

    const TextString fromEmpty{WideStringHandle()};
    const TextString fromNull{WideStringHandle(static_cast<const char*>(nullptr))};
    EXPECT_EQ(0u, fromEmpty.Length());
    EXPECT_EQ(0u, fromNull.Length());
}

TEST(TextString, FromAWideStringHandleRaisesTheHandlesFailure) {
    const WideStringHandle handle(OLESTR("RQ5600"));
    {
        FailingCall<&SystemApi::WideCharToMultiByte> fail(1, 0, ERROR_NO_UNICODE_TRANSLATION);
        EXPECT_EQ(static_cast<HRESULT>(0x80070459u), RaisedStatus([&] { TextString s(handle); }));
    }
    {
        FailingCall<&SystemApi::HeapAlloc> fail(1, nullptr);
        EXPECT_EQ(E_OUTOFMEMORY, RaisedStatus([&] { TextString s(handle); }));
    }
}

TEST(TextString, FormatFillsInsertsIntoItsOwnText) {
    TextString s("Drive %1 needs %2!d! KB%n");
    EXPECT_EQ(22, s.Format(s.Text(), "E", 512));
    EXPECT_STREQ("Drive E needs 512 KB\r\n", s.Text());
}

TEST(TextString, FormatWithoutInsertsGivesTheSameTextInAnExactFit) {
    TextString s("Switch the camera off.");
    const int count = s.Format(s.Text());
    EXPECT_EQ(22, count);
    EXPECT_STREQ("Switch the camera off.", s.Text());
    EXPECT_TRUE(IsExactFit(s));
}

TEST(TextString, AFailedFormatLeavesTheStringEmpty) {
    TextString s("before");
    FailingFormatting refuse(1, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(0, s.Format("%1", "x"));
    EXPECT_EQ(0u, s.Length());
    EXPECT_STREQ("", s.Text());
}

TEST(TextString, FormatTakesTheInsertsByNumberNotByPlace) {
    TextString s;
    EXPECT_EQ(4, s.Format("%2, %1", "b", "a"));
    EXPECT_STREQ("a, b", s.Text());
}

// A refused CoTaskMemAlloc raises E_OUTOFMEMORY and leaves the string usable: as it was,
// or empty where the operation had already let go of the old text.
TEST(TextString, ARefusedAllocationRaisesAndLeavesAValidString) {
    const struct {
        const char* name;
        std::function<void(TextString&)> act;
        const char* after;
    } cases[] = {
        {"narrow construction", [](TextString&) { TextString made("new"); }, "keep"},
        {"narrow assignment", [](TextString& s) { s = "new"; }, "keep"},
        {"copy assignment", [](TextString& s) { s = TextString(); }, "keep"},
        {"copy construction", [](TextString& s) { TextString made(s); }, "keep"},
        {"wide assignment", [](TextString& s) { s.AssignWide(OLESTR("new")); }, ""},
        {"growing the writable buffer", [](TextString& s) { s.GetWriteBuffer(100); }, "keep"},
        {"format", [](TextString& s) { s.Format("%1", "new"); }, "keep"},
        {"Mid", [](TextString& s) { s.Mid(1, 2); }, "keep"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TextString s("keep");
        FailingCall<&SystemApi::CoTaskMemAlloc> fail(1, nullptr, 0, true);
        EXPECT_EQ(E_OUTOFMEMORY, RaisedStatus([&] { c.act(s); }));
        EXPECT_STREQ(c.after, s.Text());
        EXPECT_EQ(std::strlen(c.after), s.Length());
        EXPECT_TRUE(fail.Failed());
    }
}

// Text buffers go back to the task allocator and formatted output to LocalFree, also when
// a conversion fails after its buffer was taken.
TEST(TextStringBlocks, EveryBlockGoesBackToTheAllocatorItCameFrom) {
    AllocationLedger ledger;
    {
        TextString s("RQ5600");
        TextString copy(s);
        copy = "Zoom Digital Camera";
        s.Format("%1 needs %2!d! KB", "E", 512);
        s.GetWriteBuffer(64);
        s.ReleaseWriteBuffer(2);
        s.AssignWide(OLESTR("E:\\Current"));
        FailingCall<&SystemApi::WideCharToMultiByte> failSecond(2, 0, ERROR_INVALID_PARAMETER);
        copy.AssignWide(OLESTR("text"));
    }
    EXPECT_GT(ledger.Allocations(), 6);
    EXPECT_EQ("", ledger.Report());
}

}  // namespace
