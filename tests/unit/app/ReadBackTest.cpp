// The read-back of a written file: whole sector-aligned chunks into an aligned buffer, the
// end found by a short or empty read, and every failure or difference a mismatch, against
// a card in memory (support/InMemoryCard.h) whose calls are failed by step.
#include "app/ReadBack.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/SystemApi.h"
#include "support/CardSteps.h"
#include "support/InMemoryCard.h"
#include "support/RowName.h"

namespace {

const char* const kFolder = "Current\\Firmware\\";
const char* const kFile = "Current\\Firmware\\R5610200.fw~";

std::vector<BYTE> Pattern(std::size_t size) {
    std::vector<BYTE> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<BYTE>(i * 7 + i / 251);
    }
    return bytes;
}

// The file is read back while its writer holds it, as the package write reads it.
class ReadBackTest : public ::testing::Test {
protected:
    void SetUp() override {
        writer_ = platform::sys.CardCreateFileA(folder.Get(), kFile, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                                nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(writer_, INVALID_HANDLE_VALUE);
        steps.ClearLog();
    }
    void TearDown() override {
        platform::sys.CloseHandle(writer_);
        EXPECT_TRUE(card.AllClosed()) << "a handle left open";
    }

    bool ReadBack() {
        return ReadBackMatches(folder, kFile, kFolder, expected.data(), static_cast<DWORD>(expected.size()));
    }

    InMemoryCard card{kFolder};
    CardSteps steps;
    const platform::CardFolder folder = card.Open();
    HANDLE writer_ = INVALID_HANDLE_VALUE;
    std::vector<BYTE> expected = Pattern(150000);  // two whole chunks and a part
};

// File size and sector size: whole chunks (an empty read finds the end), a part chunk (the
// short read is the end), one sector's worth, the largest sector read back.
struct ChunkRow {
    const char* name;
    std::size_t size;
    DWORD sector;
    std::size_t reads;
};

void PrintTo(const ChunkRow& row, std::ostream* out) { *out << row.name; }

class ReadBackChunkTest : public ReadBackTest, public ::testing::WithParamInterface<ChunkRow> {};

TEST_P(ReadBackChunkTest, ReadsInAlignedChunksUntilAShortRead) {
    const ChunkRow& row = GetParam();
    expected = Pattern(row.size);
    card.files[kFile] = expected;
    card.sector = row.sector;

    EXPECT_TRUE(ReadBack());

    std::vector<std::string> calls = {"sector size", "open read-back"};
    calls.insert(calls.end(), row.reads, "read");
    calls.push_back("close read-back");
    EXPECT_EQ(steps.Log(), calls);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ReadBackChunkTest,
                         ::testing::Values(ChunkRow{"partChunk", 150000, 512, 3},
                                           ChunkRow{"wholeChunks", 2 * kReadBackChunk, 4096, 3},
                                           ChunkRow{"oneSector", 512, 512, 1},
                                           ChunkRow{"largestSector", 1935180, kReadBackLargestSector, 30}),
                         RowName<ChunkRow>);

// Each step failing in turn, and the sector sizes the chunk buffer cannot serve.
struct StepRow {
    const char* name;
    const char* failing;  // the step, or "" for none
    int nth;
    DWORD sector;  // the volume's answer
};

void PrintTo(const StepRow& row, std::ostream* out) { *out << row.name; }

class ReadBackStepTest : public ReadBackTest, public ::testing::WithParamInterface<StepRow> {};

TEST_P(ReadBackStepTest, IsAMismatch) {
    const StepRow& row = GetParam();
    card.files[kFile] = expected;
    steps.Fail(row.failing, row.nth);
    card.sector = row.sector;
    EXPECT_FALSE(ReadBack());
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ReadBackStepTest,
    ::testing::Values(StepRow{"sectorSizeQuery", "sector size", 1, 512}, StepRow{"sectorSizeZero", "", 1, 0},
                      StepRow{"sectorSizeNotAPowerOfTwo", "", 1, 520},
                      StepRow{"sectorLargerThanTheBuffersAlignment", "", 1, 2 * kReadBackLargestSector},
                      StepRow{"open", "open read-back", 1, 512}, StepRow{"firstRead", "read", 1, 512},
                      StepRow{"readInTheMiddle", "read", 2, 512}, StepRow{"close", "close read-back", 1, 512}),
    RowName<StepRow>);

// The file holds other bytes than expected.
struct DifferenceRow {
    const char* name;
    std::vector<BYTE> (*held)(std::vector<BYTE> bytes);
};

void PrintTo(const DifferenceRow& row, std::ostream* out) { *out << row.name; }

std::vector<BYTE> Flipped(std::vector<BYTE> bytes, std::size_t at) {
    bytes[at] ^= 0x01;
    return bytes;
}

class ReadBackDifferenceTest : public ReadBackTest, public ::testing::WithParamInterface<DifferenceRow> {};

TEST_P(ReadBackDifferenceTest, IsAMismatch) {
    card.files[kFile] = GetParam().held(expected);
    EXPECT_FALSE(ReadBack());
}

INSTANTIATE_TEST_SUITE_P(
    Contents, ReadBackDifferenceTest,
    ::testing::Values(
        DifferenceRow{"firstByte", [](std::vector<BYTE> b) { return Flipped(std::move(b), 0); }},
        DifferenceRow{"lastByteOfAChunk", [](std::vector<BYTE> b) { return Flipped(std::move(b), kReadBackChunk - 1); }},
        DifferenceRow{"lastByte",
                      [](std::vector<BYTE> b) {
                          const std::size_t last = b.size() - 1;
                          return Flipped(std::move(b), last);
                      }},
        DifferenceRow{"oneByteLost",
                      [](std::vector<BYTE> b) {
                          b.pop_back();
                          return b;
                      }},
        DifferenceRow{"oneByteMore",
                      [](std::vector<BYTE> b) {
                          b.push_back(0);
                          return b;
                      }},
        DifferenceRow{"nothingKept", [](std::vector<BYTE>) { return std::vector<BYTE>(); }}),
    RowName<DifferenceRow>);

}  // namespace
