// The read-back of a written file: whole sector-aligned chunks into an aligned buffer, the
// end found by a short or empty read, and every failure or difference a mismatch, against
// a replaced volume that holds one file.
#include "app/ReadBack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/SystemApi.h"
#include "support/FaultInjection.h"
#include "support/RowName.h"

namespace {

const char* const kFolder = "E:\\Current\\Firmware\\";
const char* const kFile = "E:\\Current\\Firmware\\R5610200.fw~";

// The volume: its sector size, the file's bytes, the calls made by kind ("sector", "open",
// "read", "close"), and the one call to fail.
struct FakeVolume {
    DWORD sector = 512;
    std::vector<BYTE> contents;
    std::size_t position = 0;
    bool open = false;
    std::vector<std::string> calls;
    std::string failing;
    int failingNth = 1;

    bool Call(const std::string& kind) {
        calls.push_back(kind);
        return kind == failing && std::count(calls.begin(), calls.end(), kind) == failingNth;
    }
};
FakeVolume* g_volume = nullptr;

const HANDLE kHandle = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x108));

BOOL FakeSectorSize(LPCSTR root, LPDWORD perCluster, LPDWORD bytesPerSector, LPDWORD freeClusters, LPDWORD total) {
    EXPECT_EQ(root, std::string(kFolder));
    if (g_volume->Call("sector")) {
        return FALSE;
    }
    *perCluster = 8;
    *bytesPerSector = g_volume->sector;
    *freeClusters = 1000;
    *total = 2000;
    return TRUE;
}

HANDLE FakeOpen(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition, DWORD flags,
                HANDLE templ) {
    EXPECT_EQ(name, std::string(kFile));
    EXPECT_EQ(access, static_cast<DWORD>(GENERIC_READ));
    EXPECT_EQ(share, static_cast<DWORD>(FILE_SHARE_READ | FILE_SHARE_WRITE)) << "beside the writer's handle";
    EXPECT_EQ(sa, nullptr);
    EXPECT_EQ(disposition, static_cast<DWORD>(OPEN_EXISTING));
    EXPECT_EQ(flags, static_cast<DWORD>(FILE_FLAG_NO_BUFFERING)) << "the read-back bypasses the cache";
    EXPECT_EQ(templ, nullptr);
    if (g_volume->Call("open")) {
        return INVALID_HANDLE_VALUE;
    }
    g_volume->open = true;
    g_volume->position = 0;
    return kHandle;
}

BOOL FakeRead(HANDLE h, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED ov) {
    EXPECT_EQ(h, kHandle);
    EXPECT_EQ(ov, nullptr);
    *read = 0;
    // What an unbuffered read requires.
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buffer) % g_volume->sector, 0u) << "buffer not sector-aligned";
    EXPECT_EQ(size % g_volume->sector, 0u) << "read size not a whole number of sectors";
    EXPECT_EQ(g_volume->position % g_volume->sector, 0u) << "read from an offset inside a sector";
    EXPECT_EQ(size, kReadBackChunk);
    if (g_volume->Call("read")) {
        return FALSE;
    }
    const std::vector<BYTE>& contents = g_volume->contents;
    const std::size_t count =
        std::min<std::size_t>(size, contents.size() - std::min(g_volume->position, contents.size()));
    std::copy_n(contents.begin() + static_cast<std::ptrdiff_t>(g_volume->position), count, static_cast<BYTE*>(buffer));
    g_volume->position += count;
    *read = static_cast<DWORD>(count);
    return TRUE;
}

BOOL FakeClose(HANDLE h) {
    EXPECT_EQ(h, kHandle);
    g_volume->open = false;  // closed even when it reports failure
    return !g_volume->Call("close");
}

std::vector<BYTE> Pattern(std::size_t size) {
    std::vector<BYTE> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<BYTE>(i * 7 + i / 251);
    }
    return bytes;
}

class ReadBackTest : public ::testing::Test {
protected:
    void SetUp() override { g_volume = &volume; }
    void TearDown() override {
        EXPECT_FALSE(volume.open) << "a handle left open";
        g_volume = nullptr;
    }

    bool ReadBack() {
        return ReadBackMatches(kFile, kFolder, expected.data(), static_cast<DWORD>(expected.size()));
    }

    FakeVolume volume;
    std::vector<BYTE> expected = Pattern(150000);  // two whole chunks and a part

    ScopedOverride<decltype(platform::SystemApi::GetDiskFreeSpaceA)> sectors{&platform::SystemApi::GetDiskFreeSpaceA,
                                                                             FakeSectorSize};
    ScopedOverride<decltype(platform::SystemApi::CreateFileA)> open{&platform::SystemApi::CreateFileA, FakeOpen};
    ScopedOverride<decltype(platform::SystemApi::ReadFile)> read{&platform::SystemApi::ReadFile, FakeRead};
    ScopedOverride<decltype(platform::SystemApi::CloseHandle)> close{&platform::SystemApi::CloseHandle, FakeClose};
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
    volume.contents = expected;
    volume.sector = row.sector;

    EXPECT_TRUE(ReadBack());

    std::vector<std::string> calls = {"sector", "open"};
    calls.insert(calls.end(), row.reads, "read");
    calls.push_back("close");
    EXPECT_EQ(volume.calls, calls);
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
    const char* failing;
    int nth;
    DWORD sector;  // the volume's answer
};

void PrintTo(const StepRow& row, std::ostream* out) { *out << row.name; }

class ReadBackStepTest : public ReadBackTest, public ::testing::WithParamInterface<StepRow> {};

TEST_P(ReadBackStepTest, IsAMismatch) {
    const StepRow& row = GetParam();
    volume.contents = expected;
    volume.failing = row.failing;
    volume.failingNth = row.nth;
    volume.sector = row.sector;
    EXPECT_FALSE(ReadBack());
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ReadBackStepTest,
    ::testing::Values(StepRow{"sectorSizeQuery", "sector", 1, 512}, StepRow{"sectorSizeZero", "", 1, 0},
                      StepRow{"sectorSizeNotAPowerOfTwo", "", 1, 520},
                      StepRow{"sectorLargerThanTheBuffersAlignment", "", 1, 2 * kReadBackLargestSector},
                      StepRow{"open", "open", 1, 512}, StepRow{"firstRead", "read", 1, 512},
                      StepRow{"readInTheMiddle", "read", 2, 512}, StepRow{"close", "close", 1, 512}),
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
    volume.contents = GetParam().held(expected);
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
