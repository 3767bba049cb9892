// The memory-card probe, the free-space test and the staged package write, against replaced
// free-space and file services.
#include "app/MemoryCard.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/SystemApi.h"
#include "support/CardSteps.h"
#include "support/FaultInjection.h"
#include "support/InMemoryCard.h"
#include "support/RowName.h"

namespace {

// A card as the seam hands it out, for the probe's and the volume's replaced services.
const HANDLE kCard = reinterpret_cast<HANDLE>(std::uintptr_t{0xCA4D});

BOOL CloseTheCard(HANDLE card) {
    EXPECT_EQ(card, kCard);
    return TRUE;
}

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
const char* const kProbedFolder = "Current\\Firmware\\";

BOOL ScriptedFreeSpace(HANDLE card, LPCSTR directory, PULARGE_INTEGER available, PULARGE_INTEGER total,
                       PULARGE_INTEGER totalFree) {
    EXPECT_EQ(card, kCard) << "queried on another card than the one given";
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
        space.freeBytesAvailable.QuadPart = 7;  // stale values from an earlier run must not count
        return ProbeMemoryCard(card, kProbedFolder, space);
    }

    ProbeScript script;
    ScopedOverride<decltype(platform::SystemApi::CloseCardFolder)> closeCard{&platform::SystemApi::CloseCardFolder,
                                                                              CloseTheCard};
    const platform::CardFolder card{kCard};
    ScopedOverride<decltype(platform::SystemApi::CardGetDiskFreeSpaceExA)> freeSpace{
        &platform::SystemApi::CardGetDiskFreeSpaceExA, ScriptedFreeSpace};
    ScopedOverride<decltype(platform::SystemApi::Sleep)> sleep{&platform::SystemApi::Sleep,
                                                               [](DWORD ms) { RecordedSleep(ms); }};
    CardSpace space{};
};

TEST_F(ProbeTest, QueriesTwiceAroundTheSettlingPauseAndTheSecondCounts) {
    EXPECT_TRUE(Probe({{1, 100, 200, 100}, {1, 5000, 8000, 6000}}));
    EXPECT_EQ(script.events, (std::vector<std::string>{"query Current\\Firmware\\", "sleep 1000",
                                                       "query Current\\Firmware\\"}));
    EXPECT_EQ(space.freeBytesAvailable.QuadPart, 5000u);
    EXPECT_EQ(space.totalBytes.QuadPart, 8000u);
    EXPECT_EQ(space.totalFreeBytes.QuadPart, 6000u);
}

TEST_F(ProbeTest, FailedFirstQueryStillPausesAndIsNotRepeated) {
    EXPECT_FALSE(Probe({{0, 0, 0, 0}}));
    EXPECT_EQ(script.events, (std::vector<std::string>{"query Current\\Firmware\\", "sleep 1000"}));
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

// Room for the file, not for its bytes: whole allocation units, and one more for the staging
// file's folder entry.  The shipped payload of 1,935,180 bytes takes 1890 units of 1 KiB and
// 473 of 4 KiB.
struct FreeSpaceRow {
    const char* name;
    DWORD payload;
    ULONGLONG unit;
    ULONGLONG free;
    bool exceeds;
};

void PrintTo(const FreeSpaceRow& row, std::ostream* out) { *out << row.name; }

class FreeSpaceTest : public testing::TestWithParam<FreeSpaceRow> {};

TEST_P(FreeSpaceTest, ComparesWholeAllocationUnitsWithTheWhole64BitCount) {
    const FreeSpaceRow& row = GetParam();
    EXPECT_EQ(PayloadExceedsFreeSpace(row.payload, row.unit, U64(row.free)), row.exceeds);
}

INSTANTIATE_TEST_SUITE_P(
    Counts, FreeSpaceTest,
    testing::Values(FreeSpaceRow{"bytesOnlyOnBlocksOf1KiB", 1935180, 1024, 1935360, true},
                    FreeSpaceRow{"blocksButNoMarginOf1KiB", 1935180, 1024, 1890 * 1024, true},
                    FreeSpaceRow{"blocksAndMarginOf1KiB", 1935180, 1024, 1891 * 1024, false},
                    FreeSpaceRow{"blocksAndMarginOf4KiB", 1935180, 4096, 474 * 4096, false},
                    FreeSpaceRow{"oneByteShortOf4KiB", 1935180, 4096, 474 * 4096 - 1, true},
                    FreeSpaceRow{"wholeUnitsOnly", 8192, 4096, 3 * 4096, false},
                    FreeSpaceRow{"wholeUnitsNoMargin", 8192, 4096, 2 * 4096, true},
                    FreeSpaceRow{"bytesWhereTheVolumeGivesNoUnit", 1935180, 1, 1935181, false},
                    FreeSpaceRow{"bytesWhereTheVolumeGivesNoUnitShort", 1935180, 1, 1935180, true},
                    FreeSpaceRow{"fourGiBFreeLowHalfZero", 1935180, 4096, 0x100000000ull, false},
                    FreeSpaceRow{"largestPayload", 0xFFFFFFFFu, 32768, 0x1000000000ull, false},
                    FreeSpaceRow{"unitLargerThanAnyPayload", 1935180, 0xFFFFFFFE00000002ull, 0xFFFFFFFFFFFFFFFFull,
                                 true}),
    RowName<FreeSpaceRow>);

TEST(AllocationUnitTest, ClusterOfTheVolumeOrOneWhereItIsNotTold) {
    struct Answer {
        BOOL result;
        DWORD sectorsPerCluster;
        DWORD bytesPerSector;
    };
    static Answer answer{};
    ScopedOverride<decltype(platform::SystemApi::CloseCardFolder)> closeCard{&platform::SystemApi::CloseCardFolder,
                                                                              CloseTheCard};
    const platform::CardFolder card{kCard};
    ScopedOverride<decltype(platform::SystemApi::CardGetDiskFreeSpaceA)> sectors{
        &platform::SystemApi::CardGetDiskFreeSpaceA,
        [](HANDLE onCard, LPCSTR root, LPDWORD perCluster, LPDWORD bytesPerSector, LPDWORD freeClusters,
           LPDWORD total) -> BOOL {
            EXPECT_EQ(onCard, kCard);
            EXPECT_EQ(root, std::string(kProbedFolder));
            *perCluster = answer.sectorsPerCluster;
            *bytesPerSector = answer.bytesPerSector;
            *freeClusters = 0;
            *total = 0;
            return answer.result;
        }};
    answer = Answer{TRUE, 64, 512};
    EXPECT_EQ(AllocationUnit(card, kProbedFolder), 32768u);
    answer = Answer{TRUE, 0xFFFFFFFFu, 0xFFFFFFFFu};
    EXPECT_EQ(AllocationUnit(card, kProbedFolder), 0xFFFFFFFE00000001ull) << "the product in 64 bits";
    answer = Answer{FALSE, 64, 512};
    EXPECT_EQ(AllocationUnit(card, kProbedFolder), 1u);
    answer = Answer{TRUE, 0, 512};
    EXPECT_EQ(AllocationUnit(card, kProbedFolder), 1u);
}

// The package write against a card in memory, whose calls are logged and failed by step.
const char* const kFolder = "Current\\Firmware\\";
const char* const kPackage = "Current\\Firmware\\R5610200.fw";
const char* const kStaging = "Current\\Firmware\\R5610200.fw~";

class WriteTest : public ::testing::Test {
protected:
    bool Write() {
        outcome = WritePackageFile(folder, PackagePaths("R5610200.fw"), payload.data(),
                                   static_cast<DWORD>(payload.size()), &written);
        return outcome == WriteOutcome::Written;
    }
    // A failed write: no staging file, the older package as it was, every handle closed.
    void ExpectOlderPackageAlone() {
        EXPECT_EQ(card.FileNames(), std::vector<std::string>{kPackage});
        EXPECT_EQ(card.files[kPackage], older);
        EXPECT_TRUE(card.AllClosed());
    }

    InMemoryCard card{kFolder};
    CardSteps steps;
    const platform::CardFolder folder = card.Open();
    std::vector<BYTE> payload = Pattern(150000);  // two whole chunks and a part
    const std::vector<BYTE> older = std::vector<BYTE>(70000, 0x0D);
    DWORD written = 99;
    WriteOutcome outcome = WriteOutcome::Written;

    static std::vector<BYTE> Pattern(size_t size) {
        std::vector<BYTE> bytes(size);
        for (size_t i = 0; i < size; ++i) {
            bytes[i] = static_cast<BYTE>(i * 7 + i / 251);
        }
        return bytes;
    }
};

// The whole sequence; the read-back's chunking is ReadBackTest's.
TEST_F(WriteTest, PackageIsStagedReadBackAndMovedOverTheOlderOne) {
    card.files[kPackage] = older;

    EXPECT_TRUE(Write());

    EXPECT_EQ(steps.Log(), (std::vector<std::string>{"create staging", "write", "flush", "sector size",
                                                     "open read-back", "read", "read", "read", "close read-back",
                                                     "move", "flush after move", "volume", "close after move",
                                                     "attributes"}));
    EXPECT_EQ(card.writtenFrom, payload.data()) << "the payload is written in place, not from a copy";
    EXPECT_EQ(written, payload.size());
    EXPECT_EQ(card.FileNames(), std::vector<std::string>{kPackage});
    EXPECT_TRUE(card.files[kPackage] == payload);
    EXPECT_TRUE(card.AllClosed());
}

// Each step of the sequence failing in turn.
struct StepRow {
    const char* name;
    const char* failing;
};

void PrintTo(const StepRow& row, std::ostream* out) { *out << row.name; }

class StepFailureTest : public WriteTest, public ::testing::WithParamInterface<StepRow> {};

TEST_P(StepFailureTest, RemovesTheStagingFileAndLeavesTheOlderPackage) {
    const StepRow& row = GetParam();
    card.files[kPackage] = older;
    steps.Fail(row.failing);

    EXPECT_FALSE(Write());

    EXPECT_EQ(outcome, WriteOutcome::Failed);
    EXPECT_EQ(steps.Log().back(), row.failing == std::string("create staging") ? "delete" : "close staging");
    EXPECT_EQ(steps.Count("delete"), 1);
    ExpectOlderPackageAlone();
}

INSTANTIATE_TEST_SUITE_P(
    Steps, StepFailureTest,
    // A failed read-back stands for every way the read-back fails (ReadBackTest has them).
    ::testing::Values(StepRow{"create", "create staging"}, StepRow{"write", "write"}, StepRow{"flush", "flush"},
                      StepRow{"readBack", "read"}, StepRow{"closeAfterReading", "close read-back"},
                      StepRow{"move", "move"}),
    RowName<StepRow>);

// A step that fails for lack of room, as the system reports it: the card is full after all
// (a file system's own overhead can take more than the units counted before the write).
struct RoomRow {
    const char* name;
    const char* failing;
    DWORD error;
};

void PrintTo(const RoomRow& row, std::ostream* out) { *out << row.name; }

class RoomRunsOutTest : public WriteTest, public ::testing::WithParamInterface<RoomRow> {};

TEST_P(RoomRunsOutTest, IsNoRoomAndLeavesTheOlderPackage) {
    const RoomRow& row = GetParam();
    card.files[kPackage] = older;
    steps.Fail(row.failing, 1, row.error);
    EXPECT_FALSE(Write());
    EXPECT_EQ(outcome, WriteOutcome::NoRoom);
    ExpectOlderPackageAlone();
}

INSTANTIATE_TEST_SUITE_P(
    Steps, RoomRunsOutTest,
    ::testing::Values(RoomRow{"create", "create staging", ERROR_DISK_FULL}, RoomRow{"write", "write", ERROR_DISK_FULL},
                      RoomRow{"flush", "flush", ERROR_DISK_FULL}, RoomRow{"move", "move", ERROR_DISK_FULL},
                      RoomRow{"writeOnAFullHandle", "write", ERROR_HANDLE_DISK_FULL}),
    RowName<RoomRow>);

TEST_F(WriteTest, ShortWriteIsAFailedWrite) {
    card.files[kPackage] = older;
    card.shortBy = 1;
    SetLastError(ERROR_DISK_FULL);  // from before the write: the short count itself tells nothing of the room
    EXPECT_FALSE(Write());
    EXPECT_EQ(outcome, WriteOutcome::Failed);
    EXPECT_EQ(written, payload.size() - 1);
    EXPECT_EQ(steps.Log(), (std::vector<std::string>{"create staging", "write", "delete", "close staging"}));
    ExpectOlderPackageAlone();
}

// Once the verified file has been moved, nothing can undo the move: a step after it that
// fails, or a card that does not show the package as written, leaves the new package in
// place, and the write is reported as failed all the same.
struct AfterMoveRow {
    const char* name;
    void (*arrange)(InMemoryCard& card, CardSteps& steps);
};

void PrintTo(const AfterMoveRow& row, std::ostream* out) { *out << row.name; }

class AfterMoveTest : public WriteTest, public ::testing::WithParamInterface<AfterMoveRow> {};

TEST_P(AfterMoveTest, FailureIsReportedButKeepsTheNewPackage) {
    card.files[kPackage] = older;
    GetParam().arrange(card, steps);
    EXPECT_FALSE(Write());
    EXPECT_EQ(card.FileNames(), std::vector<std::string>{kPackage});
    EXPECT_TRUE(card.files[kPackage] == payload);
    EXPECT_TRUE(card.AllClosed());
    EXPECT_EQ(steps.Count("move"), 1);
    EXPECT_EQ(steps.Count("delete"), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, AfterMoveTest,
    ::testing::Values(
        AfterMoveRow{"flushUnderTheNewName", [](InMemoryCard&, CardSteps& s) { s.Fail("flush after move"); }},
        AfterMoveRow{"volumeNotTold", [](InMemoryCard&, CardSteps& s) { s.Fail("volume"); }},
        AfterMoveRow{"volumeTurnedReadOnly", [](InMemoryCard& c, CardSteps&) { c.readOnly = true; }},
        AfterMoveRow{"close", [](InMemoryCard&, CardSteps& s) { s.Fail("close after move"); }},
        AfterMoveRow{"packageNotFound",
                     [](InMemoryCard&, CardSteps& s) { s.Fail("attributes", 1, ERROR_FILE_NOT_FOUND); }},
        AfterMoveRow{"packageIsAFolder",
                     [](InMemoryCard& c, CardSteps&) { c.attributes = FILE_ATTRIBUTE_DIRECTORY; }},
        AfterMoveRow{"packageIsALink",
                     [](InMemoryCard& c, CardSteps&) { c.attributes = FILE_ATTRIBUTE_REPARSE_POINT; }},
        AfterMoveRow{"packageOfAnotherSize", [](InMemoryCard& c, CardSteps&) { c.sizeReportedOff = 1; }}),
    RowName<AfterMoveRow>);

// The card keeps other bytes than it was given, and reports the write complete.
struct CorruptionRow {
    const char* name;
    std::vector<BYTE> (*stores)(const BYTE* data, DWORD size);
};

void PrintTo(const CorruptionRow& row, std::ostream* out) { *out << row.name; }

std::vector<BYTE> Flipped(const BYTE* data, DWORD size, DWORD at) {
    std::vector<BYTE> bytes;
    for (DWORD i = 0; i < size; ++i) {
        bytes.push_back(i == at ? static_cast<BYTE>(data[i] ^ 0x01) : data[i]);
    }
    return bytes;
}

class CorruptingCardTest : public WriteTest, public ::testing::WithParamInterface<CorruptionRow> {};

TEST_P(CorruptingCardTest, MismatchIsAFailedWrite) {
    card.stores = GetParam().stores;
    for (const bool withOlder : {false, true}) {
        SCOPED_TRACE(withOlder ? "an older package on the card" : "no package on the card");
        card.files.clear();
        steps.ClearLog();
        if (withOlder) {
            card.files[kPackage] = older;
        }
        EXPECT_FALSE(Write());
        EXPECT_EQ(written, payload.size()) << "the write itself reported every byte";
        EXPECT_EQ(steps.Log().back(), "close staging");
        EXPECT_EQ(steps.Count("delete"), 1);
        EXPECT_EQ(steps.Count("move"), 0);
        if (withOlder) {
            ExpectOlderPackageAlone();
        } else {
            EXPECT_TRUE(card.files.empty());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Stores, CorruptingCardTest,
    ::testing::Values(
        // Where the bytes differ is ReadBackTest's.
        CorruptionRow{"firstByte", [](const BYTE* d, DWORD n) { return Flipped(d, n, 0); }},
        CorruptionRow{"oneByteLost", [](const BYTE* d, DWORD n) { return std::vector<BYTE>(d, d + n - 1); }}),
    RowName<CorruptionRow>);

// Another run holds its staging file against writers: this run fails, and leaves that file
// to its owner.
TEST_F(WriteTest, StagingFileThatAnotherRunHoldsIsLeftAlone) {
    const std::vector<BYTE> theirs(payload.size(), 0x77);
    card.files[kStaging] = theirs;
    card.files[kPackage] = older;
    steps.Fail("create staging", 1, ERROR_SHARING_VIOLATION);
    EXPECT_FALSE(Write());
    EXPECT_EQ(steps.Log(), std::vector<std::string>{"create staging"});
    EXPECT_TRUE(card.files[kStaging] == theirs);
    EXPECT_EQ(card.files[kPackage], older);
}

TEST_F(WriteTest, StagingFileLeftByAnInterruptedRunIsReplaced) {
    card.files[kStaging] = std::vector<BYTE>(payload.size() + 5000, 0xEE);
    card.files[kPackage] = older;
    EXPECT_TRUE(Write());
    EXPECT_EQ(card.FileNames(), std::vector<std::string>{kPackage});
    EXPECT_TRUE(card.files[kPackage] == payload);
}

// Two runs at once on one card, each with the card opened for itself, with the real file
// services: run A is held inside its write sequence, its staging file verified and about to
// be moved, while run B tries the card.
struct Hold {
    std::mutex mutex;
    std::condition_variable changed;
    std::thread::id holder;
    bool atMove = false;
    bool go = false;
};
Hold* g_hold = nullptr;

BOOL HeldMove(HANDLE card, LPCSTR existing, LPCSTR newName, DWORD flags) {
    {
        std::unique_lock<std::mutex> lock(g_hold->mutex);
        if (std::this_thread::get_id() == g_hold->holder) {
            g_hold->atMove = true;
            g_hold->changed.notify_all();
            g_hold->changed.wait(lock, [] { return g_hold->go; });
        }
    }
    return platform::kSystemDefaults.CardMoveFileExA(card, existing, newName, flags);
}

class TwoRunsTest : public testing::Test {
protected:
    void SetUp() override {
        root_ = std::filesystem::temp_directory_path() / ("fw-two-runs-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(root_ / "Current" / "Firmware");
        drive_ = root_.string() + static_cast<char>(std::filesystem::path::preferred_separator);
        package_ = (root_ / "Current" / "Firmware" / "R5610200.fw").string();
        staging_ = package_ + "~";
        std::ofstream(package_, std::ios::binary) << "an older package";
        g_hold = &hold_;
    }
    void TearDown() override {
        g_hold = nullptr;
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    // Each run opens the card for itself, as the driver does.
    platform::CardFolder OpenCard() const { return platform::CardFolder(platform::sys.OpenCardFolder(drive_.c_str())); }
    static bool Write(const platform::CardFolder& card, const std::vector<BYTE>& payload) {
        DWORD written = 0;
        return WritePackageFile(card, PackagePaths("R5610200.fw"), payload.data(), static_cast<DWORD>(payload.size()),
                                &written) == WriteOutcome::Written;
    }
    static std::vector<BYTE> Contents(const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        return std::vector<BYTE>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    std::filesystem::path root_;
    std::string drive_, package_, staging_;
    Hold hold_;
    ScopedOverride<decltype(platform::SystemApi::CardMoveFileExA)> move_{&platform::SystemApi::CardMoveFileExA,
                                                                         HeldMove};
};

TEST_F(TwoRunsTest, SecondRunFailsAndNeverTouchesTheFirstRunsVerifiedFile) {
    const std::vector<BYTE> first(150000, 0xA1);
    const std::vector<BYTE> second(90000, 0xB2);
    bool firstWritten = false;
    std::thread runA([&] {
        {
            std::lock_guard<std::mutex> lock(hold_.mutex);
            hold_.holder = std::this_thread::get_id();
        }
        firstWritten = Write(OpenCard(), first);
    });
    {
        std::unique_lock<std::mutex> lock(hold_.mutex);
        hold_.changed.wait(lock, [this] { return hold_.atMove; });
    }

    // Run B, start to end, while A waits at its move: the leftover removal before the probe,
    // then the write.
    const platform::CardFolder card = OpenCard();
    RemoveLeftoverStaging(card, kStaging);
    const bool secondWritten = Write(card, second);
    const std::vector<BYTE> stagedMeanwhile = Contents(staging_);

    {
        std::lock_guard<std::mutex> lock(hold_.mutex);
        hold_.go = true;
    }
    hold_.changed.notify_all();
    runA.join();

    EXPECT_FALSE(secondWritten) << "two runs wrote the card at once";
    EXPECT_TRUE(stagedMeanwhile == first) << "the first run's verified staging file changed before its move";
    EXPECT_TRUE(firstWritten);
    EXPECT_TRUE(Contents(package_) == first);
    EXPECT_FALSE(std::filesystem::exists(staging_));
}

}  // namespace
