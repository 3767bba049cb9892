// The memory-card probe, the free-space test and the package write, against replaced
// free-space and file services.
#include "app/MemoryCard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/FaultInjection.h"

namespace {

ULARGE_INTEGER U64(ULONGLONG v) {
    ULARGE_INTEGER u;
    u.QuadPart = v;
    return u;
}

// A scripted free-space query: each call takes the next answer and records the path and
// the moment relative to the pauses.
struct QueryAnswer {
    BOOL result;
    ULONGLONG available;
    ULONGLONG total;
    ULONGLONG totalFree;
};

struct ProbeScript {
    std::vector<QueryAnswer> answers;
    std::vector<std::string> events;  // "query <path>" / "sleep <ms>"
    size_t next = 0;
};
ProbeScript* g_probe = nullptr;

BOOL ScriptedFreeSpace(LPCSTR directory, PULARGE_INTEGER available, PULARGE_INTEGER total, PULARGE_INTEGER totalFree) {
    g_probe->events.push_back(std::string("query ") + directory);
    if (g_probe->next == 0) {
        EXPECT_EQ(available->QuadPart, 0u) << "counters are zeroed before the first query";
    }
    const QueryAnswer a = g_probe->answers.at(g_probe->next++);
    *available = U64(a.available);
    *total = U64(a.total);
    *totalFree = U64(a.totalFree);
    return a.result;
}
void RecordedSleep(DWORD ms) { g_probe->events.push_back("sleep " + std::to_string(ms)); }

class ProbeTest : public ::testing::Test {
protected:
    void SetUp() override { g_probe = &script; }
    void TearDown() override { g_probe = nullptr; }

    bool Probe(std::vector<QueryAnswer> answers) {
        script.answers = std::move(answers);
        available.QuadPart = 7;  // stale values from an earlier run must not count
        return ProbeMemoryCard(TextString("E:\\Current\\Firmware\\"), &available, &total, &totalFree);
    }

    ProbeScript script;
    ScopedOverride<decltype(platform::SystemApi::GetDiskFreeSpaceExA)> freeSpace{
        &platform::SystemApi::GetDiskFreeSpaceExA, [](LPCSTR d, PULARGE_INTEGER a, PULARGE_INTEGER t, PULARGE_INTEGER f) {
            return ScriptedFreeSpace(d, a, t, f);
        }};
    ScopedOverride<decltype(platform::SystemApi::Sleep)> sleep{&platform::SystemApi::Sleep,
                                                               [](DWORD ms) { RecordedSleep(ms); }};
    ULARGE_INTEGER available{}, total{}, totalFree{};
};

TEST_F(ProbeTest, QueriesTwiceAroundTheSettlingPauseAndTheSecondCounts) {
    EXPECT_TRUE(Probe({{1, 100, 200, 100}, {1, 5000, 8000, 6000}}));
    EXPECT_EQ(script.events, (std::vector<std::string>{"query E:\\Current\\Firmware\\", "sleep 1000",
                                                       "query E:\\Current\\Firmware\\"}));
    EXPECT_EQ(available.QuadPart, 5000u);
    EXPECT_EQ(total.QuadPart, 8000u);
    EXPECT_EQ(totalFree.QuadPart, 6000u);
}

TEST_F(ProbeTest, FailedFirstQueryStillPausesAndIsNotRepeated) {
    EXPECT_FALSE(Probe({{0, 0, 0, 0}}));
    EXPECT_EQ(script.events, (std::vector<std::string>{"query E:\\Current\\Firmware\\", "sleep 1000"}));
}

TEST_F(ProbeTest, OnlyAResultOfExactlyOneCountsAsASuccessfulFirstQuery) {
    // Any non-zero result means success for the verdict, but only 1 earns the second query.
    EXPECT_TRUE(Probe({{2, 100, 200, 100}}));
    EXPECT_EQ(script.events.size(), 2u);
}

TEST_F(ProbeTest, SecondQueryFailingMeansNoCard) { EXPECT_FALSE(Probe({{1, 100, 200, 100}, {0, 100, 200, 100}})); }

struct PatternCase {
    const char* name;
    ULONGLONG available, total, totalFree;
    bool usable;
};

void PrintTo(const PatternCase& row, std::ostream* out) { *out << row.name; }

class NoCardPatternTest : public ProbeTest, public ::testing::WithParamInterface<PatternCase> {};

TEST_P(NoCardPatternTest, TellsTheDriveWithoutACardFromAUsableCard) {
    const PatternCase& c = GetParam();
    EXPECT_EQ(Probe({{1, 0, 0, 0}, {1, c.available, c.total, c.totalFree}}), c.usable);
    EXPECT_EQ(IsNoCardPattern(CardSpace{U64(c.available), U64(c.total), U64(c.totalFree)}), !c.usable);
}

INSTANTIATE_TEST_SUITE_P(
    Counts, NoCardPatternTest,
    ::testing::Values(PatternCase{"pattern", 0xFFFF0000u, 0, 0xFFFF0000u, false},
                      PatternCase{"patternWithHighHalves", 0x3FFFF0000ull, 0x500000000ull, 0x3FFFF0000ull, false},
                      PatternCase{"totalOfOne", 0xFFFF0000u, 1, 0xFFFF0000u, true},
                      PatternCase{"totalFreeDiffers", 0xFFFF0000u, 0, 0xFFFF0001u, true},
                      PatternCase{"availableHighHalfDiffers", 0x1FFFF0000ull, 0, 0xFFFF0000u, true},
                      PatternCase{"ordinaryCard", 1935180, 64u << 20, 1935180, true}),
    [](const ::testing::TestParamInfo<PatternCase>& row) { return std::string(row.param.name); });

TEST(FreeSpaceTest, ComparesThePayloadWithTheWhole64BitCount) {
    EXPECT_FALSE(PayloadExceedsFreeSpace(1935180, U64(1935180)));
    EXPECT_TRUE(PayloadExceedsFreeSpace(1935180, U64(1935179)));
    EXPECT_FALSE(PayloadExceedsFreeSpace(1935180, U64(0x100000000ull)));  // 4 GiB: low half is 0
    EXPECT_FALSE(PayloadExceedsFreeSpace(0xFFFFFFFFu, U64(0x1000000000ull)));
}

// A file system in memory: one file per path, with scripted write and flush failures.
struct FakeFiles {
    std::string createdPath;
    std::vector<unsigned char> contents;
    bool exists = false;
    bool createFails = false;
    DWORD shortBy = 0;
    bool flushFails = false;
    int closes = 0;
    int deletes = 0;
    std::vector<std::string> calls;
};
FakeFiles* g_files = nullptr;
HANDLE const kFakeHandle = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(0x1234));

class WriteTest : public ::testing::Test {
protected:
    void SetUp() override { g_files = &files; }
    void TearDown() override { g_files = nullptr; }

    FakeFiles files;
    ScopedOverride<decltype(platform::SystemApi::CreateFileA)> create{
        &platform::SystemApi::CreateFileA,
        [](LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition, DWORD flags,
           HANDLE templ) -> HANDLE {
            g_files->calls.push_back("create");
            EXPECT_EQ(access, 0x40000000u);
            EXPECT_EQ(share, 1u);
            EXPECT_EQ(sa, nullptr);
            EXPECT_EQ(disposition, 2u);
            EXPECT_EQ(flags, 0x80u);
            EXPECT_EQ(templ, nullptr);
            if (g_files->createFails) {
                return INVALID_HANDLE_VALUE;
            }
            g_files->createdPath = name;
            g_files->contents.clear();  // CREATE_ALWAYS replaces
            g_files->exists = true;
            return kFakeHandle;
        }};
    ScopedOverride<decltype(platform::SystemApi::WriteFile)> write{
        &platform::SystemApi::WriteFile, [](HANDLE h, LPCVOID data, DWORD size, LPDWORD reported, LPOVERLAPPED ov) -> BOOL {
            g_files->calls.push_back("write");
            EXPECT_EQ(h, kFakeHandle);
            EXPECT_EQ(ov, nullptr);
            const DWORD n = size - g_files->shortBy;
            const auto* bytes = static_cast<const unsigned char*>(data);
            g_files->contents.assign(bytes, bytes + n);
            *reported = n;
            return g_files->shortBy == 0;
        }};
    ScopedOverride<decltype(platform::SystemApi::FlushFileBuffers)> flush{
        &platform::SystemApi::FlushFileBuffers, [](HANDLE) -> BOOL {
            g_files->calls.push_back("flush");
            return !g_files->flushFails;
        }};
    ScopedOverride<decltype(platform::SystemApi::CloseHandle)> close{&platform::SystemApi::CloseHandle,
                                                                     [](HANDLE h) -> BOOL {
                                                                         g_files->calls.push_back("close");
                                                                         EXPECT_EQ(h, kFakeHandle);
                                                                         return TRUE;
                                                                     }};
    ScopedOverride<decltype(platform::SystemApi::DeleteFileA)> remove{&platform::SystemApi::DeleteFileA,
                                                                      [](LPCSTR name) -> BOOL {
                                                                          g_files->calls.push_back("delete");
                                                                          EXPECT_EQ(g_files->createdPath, name);
                                                                          g_files->exists = false;
                                                                          return TRUE;
                                                                      }};
    const std::vector<unsigned char> payload = std::vector<unsigned char>(4096, 0x5A);
    DWORD written = 99;

    bool Write() {
        return WritePackageFile("E:\\Current\\Firmware\\R5610200.fw", payload.data(),
                                static_cast<DWORD>(payload.size()), &written);
    }
};

TEST_F(WriteTest, WholePayloadIsWrittenInOneCallFlushedAndClosed) {
    files.contents.assign(10, 1);  // an older package of the same name
    EXPECT_TRUE(Write());
    EXPECT_EQ(files.calls, (std::vector<std::string>{"create", "write", "flush", "close"}));
    EXPECT_EQ(files.createdPath, "E:\\Current\\Firmware\\R5610200.fw");
    EXPECT_EQ(files.contents, payload);
    EXPECT_EQ(written, payload.size());
}

TEST_F(WriteTest, ShortWriteRemovesThePartialPackage) {
    files.shortBy = 1;
    EXPECT_FALSE(Write());
    EXPECT_EQ(written, payload.size() - 1);
    EXPECT_EQ(files.calls, (std::vector<std::string>{"create", "write", "close", "delete"}));
    EXPECT_FALSE(files.exists);
}

TEST_F(WriteTest, FailedFlushIsAFailedWriteAndRemovesTheFile) {
    files.flushFails = true;
    EXPECT_FALSE(Write());
    EXPECT_EQ(files.calls, (std::vector<std::string>{"create", "write", "flush", "close", "delete"}));
    EXPECT_FALSE(files.exists);
}

TEST_F(WriteTest, FileThatCannotBeCreatedWritesNothing) {
    files.createFails = true;
    EXPECT_FALSE(Write());
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(files.calls, (std::vector<std::string>{"create"}));
}

}  // namespace
