// The COM task allocator, as the text string's buffers use it.
#include "platform/Platform.h"

#include <gtest/gtest.h>

namespace {

TEST(TaskMemory, GivesABlockForZeroBytes) {
    void* block = CoTaskMemAlloc(0);
    EXPECT_NE(nullptr, block);
    CoTaskMemFree(block);
    CoTaskMemFree(nullptr);
}

}  // namespace
