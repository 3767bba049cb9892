// The memory-block owner: each kind goes back to its own allocator's free, once.
#include "com/ScopedBlock.h"

#include <gtest/gtest.h>

#include "platform/SystemApi.h"
#include "support/AllocationLedger.h"
#include "support/RaisedStatus.h"

namespace {

TEST(ScopedBlock, EachBlockGoesBackOnceToItsOwnFree) {
    AllocationLedger ledger;
    char* kept = nullptr;
    {
        HeapBlock<WCHAR> text = NewHeapBlock<WCHAR>(4);
        ASSERT_NE(text.Get(), nullptr);
        HeapBlock<char> taken = NewHeapBlock<char>(8);
        kept = taken.Detach();
        EXPECT_EQ(taken.Get(), nullptr);

        TaskMemoryBlock<char> task(static_cast<char*>(platform::sys.CoTaskMemAlloc(4)));
        *task.Put() = static_cast<char*>(platform::sys.CoTaskMemAlloc(2));  // the first one is freed
    }
    EXPECT_NE(ledger.Report(), "");  // the detached block is the caller's
    FreeHeapBlock(kept);
    EXPECT_EQ(ledger.Allocations(), 4);
    EXPECT_EQ(ledger.Report(), "");
}

TEST(ScopedBlock, ARefusedOrImpossibleHeapBlockRaisesOutOfMemory) {
    FailingCall<&platform::SystemApi::HeapAlloc> counting(1, nullptr);
    EXPECT_EQ(RaisedStatus([] { NewHeapBlock<char>(1); }), E_OUTOFMEMORY);
    EXPECT_EQ(RaisedStatus([] { NewHeapBlock<WCHAR>(static_cast<SIZE_T>(-1) / 2 + 1); }), E_OUTOFMEMORY);
    EXPECT_EQ(counting.Calls(), 1);  // a size that cannot be counted is not asked for
}

}  // namespace
