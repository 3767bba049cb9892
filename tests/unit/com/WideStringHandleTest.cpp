#include "com/WideStringHandle.h"

#include "com/ComError.h"
#include "platform/SystemApi.h"
#include "support/AllocationLedger.h"
#include "support/RaisedStatus.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

using platform::SystemApi;
using WideText = std::basic_string<WCHAR>;

WideText Units(std::initializer_list<unsigned> units) {
    WideText text;
    for (const unsigned unit : units) {
        text += static_cast<WCHAR>(unit);
    }
    return text;
}

// A handle around a BSTR of exactly these units, embedded zeros included.
WideStringHandle HandleOf(const WideText& units) {
    return WideStringHandle::Attach(SysAllocStringLen(units.data(), static_cast<UINT>(units.size())));
}

WideText WideOf(const WideStringHandle& handle) { return WideText(handle.Wide(), handle.Length()); }

int Sign(int value) { return (value > 0) - (value < 0); }

// Every test watches the allocators: records and narrow copies come from the ordinary heap.
class WideStringHandleTest : public ::testing::Test {
protected:
    AllocationLedger ledger_;
};

TEST_F(WideStringHandleTest, CompareUsesTheStoredLengthAndTheCodeUnits) {
    const struct {
        const char* name;
        WideStringHandle left;
        WideStringHandle right;
        int expected;
    } cases[] = {
        {"same text made twice", WideStringHandle("abc"), WideStringHandle("abc"), 0},
        {"shorter prefix", WideStringHandle("ab"), WideStringHandle("abc"), -1},
        {"longer", WideStringHandle("abc"), WideStringHandle("ab"), 1},
        {"unit difference", WideStringHandle("b"), WideStringHandle("a"), 1},
        {"unit difference is a's minus b's", WideStringHandle("a"), WideStringHandle("d"), -3},
        {"null text against text", WideStringHandle(static_cast<const char*>(nullptr)), WideStringHandle("a"), -1},
        {"null text against null text", WideStringHandle(static_cast<const char*>(nullptr)),
         WideStringHandle(static_cast<const char*>(nullptr)), 0},
        {"text against null text", WideStringHandle("a"), WideStringHandle(static_cast<const char*>(nullptr)), 1},
        {"empty handle against null text", WideStringHandle(), WideStringHandle(static_cast<const char*>(nullptr)), -1},
        {"null text against empty handle", WideStringHandle(static_cast<const char*>(nullptr)), WideStringHandle(), 1},
        {"two empty handles", WideStringHandle(), WideStringHandle(), 0},
        {"empty text against empty handle", WideStringHandle(""), WideStringHandle(), 1},
        {"a zero inside the length counts", HandleOf(Units({'a', 0, 'b'})), WideStringHandle("a"), 1},
        {"units after an inside zero count", HandleOf(Units({'a', 0, 'b'})), HandleOf(Units({'a', 0, 'c'})), -1},
        {"units compare unsigned", HandleOf(Units({0xFFFF})), HandleOf(Units({'a'})), 0xFFFF - 'a'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int result = c.left.Compare(c.right);
        if (c.expected == 0 || c.expected == 1 || c.expected == -1) {
            EXPECT_EQ(c.expected, Sign(result));
        } else {
            EXPECT_EQ(c.expected, result);
        }
        EXPECT_EQ(c.expected == 0, c.left == c.right);
        EXPECT_EQ(c.expected != 0, c.left != c.right);
    }
}

TEST_F(WideStringHandleTest, MadeFromNarrowOrWideTextHoldsItsUnits) {
    const WideStringHandle fromNarrow("E:\\");
    const WideStringHandle fromWide(OLESTR("E:\\"));
    EXPECT_TRUE(WideOf(fromNarrow) == Units({'E', ':', '\\'}));
    EXPECT_EQ(3u, fromNarrow.Length());
    EXPECT_EQ(0, fromNarrow.Compare(fromWide));
    EXPECT_NE(fromNarrow.Wide(), fromWide.Wide());

    const WideStringHandle empty("");
    EXPECT_NE(nullptr, empty.Wide());
    EXPECT_EQ(0u, empty.Length());
    EXPECT_STREQ("", empty.Narrow());
}

TEST_F(WideStringHandleTest, NullTextGivesARecordWithoutText) {
    const WideStringHandle nullNarrow(static_cast<const char*>(nullptr));
    const WideStringHandle nullWide(static_cast<const OLECHAR*>(nullptr));
    for (const WideStringHandle* handle : {&nullNarrow, &nullWide}) {
        EXPECT_FALSE(handle->IsEmpty());
        EXPECT_EQ(nullptr, handle->Wide());
        EXPECT_EQ(0u, handle->Length());
        EXPECT_EQ(nullptr, handle->Narrow());
    }
    const WideStringHandle none;
    EXPECT_TRUE(none.IsEmpty());
    EXPECT_EQ(nullptr, none.Narrow());
    EXPECT_EQ(0u, none.Length());
}

TEST_F(WideStringHandleTest, AttachTakesTheBstrWithoutACopy) {
    BSTR owned = SysAllocString(OLESTR("model"));
    const WideStringHandle handle = WideStringHandle::Attach(owned);
    EXPECT_EQ(owned, handle.Wide());
    EXPECT_STREQ("model", handle.Narrow());
}

TEST_F(WideStringHandleTest, CopiesShareOneRecordUntilTheLastGoes) {
    {
        WideStringHandle original("shared");
        const int blocksOfOne = AllocationLedger::Live();
        WideStringHandle copy(original);
        WideStringHandle assigned;
        assigned = copy;
        EXPECT_EQ(blocksOfOne, AllocationLedger::Live());
        EXPECT_EQ(original.Wide(), copy.Wide());
        EXPECT_EQ(original.Wide(), assigned.Wide());
        EXPECT_EQ(original.Narrow(), assigned.Narrow());
        EXPECT_EQ(0, copy.Compare(original));

        original.Reset();
        EXPECT_TRUE(original.IsEmpty());
        EXPECT_STREQ("shared", copy.Narrow());
        copy.Reset();
        EXPECT_STREQ("shared", assigned.Narrow());
        EXPECT_LT(0, AllocationLedger::Live());
    }
    EXPECT_EQ(0, AllocationLedger::Live());
}

TEST_F(WideStringHandleTest, TheNarrowCopyIsMadeOnceAndKept) {
    const WideStringHandle handle(OLESTR("Current"));
    FailingCall<&SystemApi::WideCharToMultiByte> conversions(0);
    const char* first = handle.Narrow();
    const int callsForFirst = conversions.Calls();
    const char* second = handle.Narrow();
    EXPECT_STREQ("Current", first);
    EXPECT_EQ(first, second);
    EXPECT_LT(0, callsForFirst);
    EXPECT_EQ(callsForFirst, conversions.Calls());
}

TEST_F(WideStringHandleTest, TheNarrowCopyEndsAtTheFirstZeroUnit) {
    const WideStringHandle handle = HandleOf(Units({'a', 0, 'b'}));
    EXPECT_STREQ("a", handle.Narrow());
    EXPECT_EQ(3u, handle.Length());
}

TEST_F(WideStringHandleTest, AppendBuildsANewRecordAndReleasesTheOld) {
    WideStringHandle path("E:\\");
    const WideStringHandle folder("Current");
    path.Narrow();
    const int before = AllocationLedger::Live();  // two records and one narrow copy
    path += folder;
    EXPECT_STREQ("E:\\Current", path.Narrow());
    EXPECT_EQ(10u, path.Length());
    EXPECT_EQ(before, AllocationLedger::Live());  // the old record and its narrow copy gone, a new record and copy

    const WideStringHandle kept = path;
    path += "\\";
    EXPECT_STREQ("E:\\Current", kept.Narrow());  // a record's text never changes
    EXPECT_STREQ("E:\\Current\\", path.Narrow());
}

TEST_F(WideStringHandleTest, AppendTakesEachSideByItsStoredLength) {
    const struct {
        const char* name;
        WideStringHandle left;
        WideStringHandle right;
        WideText expected;
    } cases[] = {
        {"empty handle on the left", WideStringHandle(), WideStringHandle("ab"), Units({'a', 'b'})},
        {"empty handle on the right", WideStringHandle("ab"), WideStringHandle(), Units({'a', 'b'})},
        {"null text on the left", WideStringHandle(static_cast<const char*>(nullptr)), WideStringHandle("c"), Units({'c'})},
        {"zeros inside both sides", HandleOf(Units({'a', 0})), HandleOf(Units({0, 'b'})), Units({'a', 0, 0, 'b'})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WideStringHandle joined = c.left;
        joined += c.right;
        EXPECT_TRUE(WideOf(joined) == c.expected);
        EXPECT_EQ(WCHAR(0), joined.Wide()[joined.Length()]);
    }
}

TEST_F(WideStringHandleTest, AppendingToItselfDoublesTheText) {
    WideStringHandle handle("ab");
    handle += handle;
    EXPECT_STREQ("abab", handle.Narrow());
}

TEST_F(WideStringHandleTest, AppendWithNothingOnEitherSideGivesEmptyText) {
    WideStringHandle handle;
    handle += WideStringHandle();
    EXPECT_FALSE(handle.IsEmpty());
    EXPECT_EQ(0u, handle.Length());

    // The text of a sum of 0 may be missing: that is no failure.
    FailingCall<&SystemApi::SysAllocStringLen> refuse(1, nullptr);
    WideStringHandle nothing(static_cast<const char*>(nullptr));
    EXPECT_NO_THROW(nothing += WideStringHandle());
    EXPECT_TRUE(refuse.Failed());
    EXPECT_FALSE(nothing.IsEmpty());
    EXPECT_EQ(0u, nothing.Length());
}

TEST_F(WideStringHandleTest, AssigningNarrowTextReplacesTheRecord) {
    WideStringHandle handle("old");
    const WideStringHandle sharer = handle;
    handle = "new";
    EXPECT_STREQ("new", handle.Narrow());
    EXPECT_STREQ("old", sharer.Narrow());

    handle = handle.Narrow();  // its own narrow copy, still alive while the new record is made
    EXPECT_STREQ("new", handle.Narrow());

    handle = static_cast<const char*>(nullptr);
    EXPECT_FALSE(handle.IsEmpty());
    EXPECT_EQ(nullptr, handle.Wide());
}

TEST_F(WideStringHandleTest, MovingLeavesTheSourceEmpty) {
    WideStringHandle source("moved");
    const BSTR wide = source.Wide();
    WideStringHandle target(std::move(source));
    EXPECT_TRUE(source.IsEmpty());
    EXPECT_EQ(wide, target.Wide());
    WideStringHandle other("other");
    other = std::move(target);
    EXPECT_EQ(wide, other.Wide());
}

// Each allocation and conversion that can fail, with the status it must raise.  Nothing
// may stay allocated afterwards (the heap tracker here, LeakSanitizer for the BSTRs), and
// a handle that already held text keeps it.
struct FaultCase {
    const char* name;
    std::function<void(WideStringHandle&)> act;
    HRESULT status;
};

TEST_F(WideStringHandleTest, EveryFailedAllocationOrConversionRaisesAndLeaksNothing) {
    const HRESULT outOfMemory = E_OUTOFMEMORY;
    const FaultCase cases[] = {
        {"narrow text: size query fails",
         [](WideStringHandle&) {
             FailingCall<&SystemApi::MultiByteToWideChar> fail(1, 0, ERROR_NO_UNICODE_TRANSLATION);
             WideStringHandle made("abc");
         },
         static_cast<HRESULT>(0x80070459u)},
        {"narrow text: conversion fails",
         [](WideStringHandle&) {
             FailingCall<&SystemApi::MultiByteToWideChar> fail(2, 0, ERROR_INSUFFICIENT_BUFFER);
             WideStringHandle made("abc");
         },
         static_cast<HRESULT>(0x8007007Au)},
        {"narrow text: wide scratch refused",
         [](WideStringHandle&) {
             FailingCall<&SystemApi::HeapAlloc> fail(1, nullptr);
             WideStringHandle made("abc");
         },
         outOfMemory},
        {"narrow text: BSTR refused",
         [](WideStringHandle&) {
             FailingCall<&SystemApi::SysAllocString> fail(1, nullptr);
             WideStringHandle made("abc");
         },
         outOfMemory},
        {"narrow text: record refused",
         [](WideStringHandle&) {
             FailingCall<&SystemApi::HeapAlloc> fail(2, nullptr);
             WideStringHandle made("abc");
         },
         outOfMemory},
        {"wide text: BSTR refused",
         [](WideStringHandle&) {
             FailingCall<&SystemApi::SysAllocString> fail(1, nullptr);
             WideStringHandle made(OLESTR("abc"));
         },
         outOfMemory},
        {"wide text: record refused",
         [](WideStringHandle&) {
             FailingCall<&SystemApi::HeapAlloc> fail(1, nullptr);
             WideStringHandle made(OLESTR("abc"));
         },
         outOfMemory},
        {"attach: record refused, the BSTR is freed",
         [](WideStringHandle&) {
             BSTR owned = SysAllocString(OLESTR("abc"));
             FailingCall<&SystemApi::HeapAlloc> fail(1, nullptr);
             WideStringHandle::Attach(owned);
         },
         outOfMemory},
        {"narrow copy: size query fails",
         [](WideStringHandle& held) {
             FailingCall<&SystemApi::WideCharToMultiByte> fail(1, 0, ERROR_INVALID_PARAMETER);
             held.Narrow();
         },
         static_cast<HRESULT>(0x80070057u)},
        {"narrow copy: conversion fails",
         [](WideStringHandle& held) {
             FailingCall<&SystemApi::WideCharToMultiByte> fail(2, 0, ERROR_INSUFFICIENT_BUFFER);
             held.Narrow();
         },
         static_cast<HRESULT>(0x8007007Au)},
        {"narrow copy: buffer refused",
         [](WideStringHandle& held) {
             FailingCall<&SystemApi::HeapAlloc> fail(1, nullptr);
             held.Narrow();
         },
         outOfMemory},
        {"append: joined BSTR refused",
         [](WideStringHandle& held) {
             const WideStringHandle right("def");
             FailingCall<&SystemApi::SysAllocStringLen> fail(1, nullptr);
             held += right;
         },
         outOfMemory},
        {"append: record refused",
         [](WideStringHandle& held) {
             const WideStringHandle right("def");
             FailingCall<&SystemApi::HeapAlloc> fail(1, nullptr);
             held += right;
         },
         outOfMemory},
        {"append narrow text: conversion fails",
         [](WideStringHandle& held) {
             FailingCall<&SystemApi::MultiByteToWideChar> fail(1, 0, ERROR_NO_UNICODE_TRANSLATION);
             held += "def";
         },
         static_cast<HRESULT>(0x80070459u)},
        {"assign narrow text: record refused",
         [](WideStringHandle& held) {
             FailingCall<&SystemApi::HeapAlloc> fail(2, nullptr);
             held = "def";
         },
         outOfMemory},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        {
            WideStringHandle held(OLESTR("abc"));
            const BSTR heldWide = held.Wide();
            const int before = AllocationLedger::Live();
            EXPECT_EQ(c.status, RaisedStatus([&] { c.act(held); }));
            EXPECT_EQ(before, AllocationLedger::Live());
            EXPECT_EQ(heldWide, held.Wide());
            EXPECT_STREQ("abc", held.Narrow());  // after a failed narrow copy, the next attempt makes it
        }
        EXPECT_EQ(0, AllocationLedger::Live());
    }
}

// Records and narrow copies go back to the heap and BSTRs to the string allocator, also
// when making a record fails after its BSTR was made.
TEST(WideStringHandleBlocks, EveryBlockGoesBackToTheAllocatorItCameFrom) {
    AllocationLedger ledger;
    {
        WideStringHandle made("RQ5600");
        EXPECT_STREQ("RQ5600", made.Narrow());
        WideStringHandle joined(made);
        joined += "Zoom";
        WideStringHandle copy(OLESTR("E:\\"));
        WideStringHandle adopted = WideStringHandle::Attach(platform::sys.SysAllocStringLen(OLESTR("ab"), 2));
    }
    {
        FailingCall<&SystemApi::HeapAlloc> failRecord(2, nullptr);  // after the conversion's scratch copy
        EXPECT_THROW(WideStringHandle("RQ5600"), _com_error);
    }
    EXPECT_GT(ledger.Allocations(), 6);
    EXPECT_EQ("", ledger.Report());
}

}  // namespace
