// The whole procedure in-process: the driver against the simulated camera component through
// the real COM runtime, with the message boxes answered by the test, the settling pause
// skipped and the card a folder of the test.  Every allocation and conversion is made to
// fail once, one run at a time, and so is each step of the package write.
#include "app/UpgradeDriver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "app/EmbeddedData.h"
#include "platform/SystemApi.h"
#include "support/CardSteps.h"
#include "support/FailingFormat.h"
#include "support/FaultInjection.h"
#include "support/RowName.h"
#include "support/SimulatedComponent.h"
#include "support/TraceCapture.h"

namespace {

const std::string kModel = "RQ5600 Zoom Digital Camera";
const std::string kConfirm =
    "This operation will upgrade your  RQ5600 Zoom Digital Camera to Version 1.02.\r\n\r\nPlease make sure:\r\n\r\n"
    "1.) An AC adapter is connected or your battery is fully charged.\r\n2.) You have a memory card installed in "
    "your camera.\r\n3.) You have at least 1935 KB of free space on your memory card.\r\n\r\nPress OK to perform "
    "upgrade.";
const std::string kDone =
    "When the progress bar disappears:\r\n\r\n1.) Turn the camera off.\r\n2.) Disconnect the USB cable.\r\n3.) Turn "
    "the camera on.\r\n4.) Follow the instructions on the camera to complete the upgrade.";
const std::string kNoCamera = "This firmware upgrade utility will only upgrade cameras of type " + kModel +
                              ". No cameras of this type have been detected.  Please verify the camera cables are "
                              "connected and the power is on.";
const std::string kSoftwareMissing = "This firmware upgrade utility will only work with  " + kModel +
                                     " software installed on your system.  Please install the software and restart "
                                     "the application.";
const std::string kCaption = "QUELDA Digital Camera Firmware Upgrade Utility";

std::string Disconnected(const std::string& driveLetter) {
    return "The camera " + kModel + " on drive " + driveLetter +
           " seems to have disconnected from the system.  Please verify the camera cables are connected and the "
           "power is on.";
}

struct Box {
    std::string text;
    std::string caption;
    UINT style;
    bool whileCardOpen;
};

// The card as the driver opens it: how often opened (and how often the drive folder could
// not be), how often closed, the drive folder it was opened on, the card handed out while it
// is open, and the card services given any other card.
struct CardWatch {
    int opens = 0;
    int unopened = 0;
    int closes = 0;
    std::string drive;
    bool open = false;
    HANDLE given = nullptr;  // the last open's card (or INVALID_HANDLE_VALUE) until it is closed
    int elsewhere = 0;
};
CardWatch* g_cards = nullptr;

HANDLE WatchedOpen(LPCSTR driveFolder) {
    ++g_cards->opens;
    g_cards->drive = driveFolder;
    g_cards->given = platform::kSystemDefaults.OpenCardFolder(driveFolder);
    g_cards->open = g_cards->given != INVALID_HANDLE_VALUE;
    g_cards->unopened += g_cards->open ? 0 : 1;
    return g_cards->given;
}

BOOL WatchedClose(HANDLE card) {
    ++g_cards->closes;
    EXPECT_EQ(card, g_cards->given) << "a card closed that the driver did not open";
    g_cards->open = false;
    g_cards->given = nullptr;
    return platform::kSystemDefaults.CloseCardFolder(card);
}

// A card service, counted when it is given another card than the one the driver opened.
template <auto Entry, typename = decltype(Entry)>
struct OnTheCard;

template <auto Entry, typename R, typename... A>
struct OnTheCard<Entry, R (*platform::SystemApi::*)(HANDLE, A...)> {
    static R Call(HANDLE card, A... args) {
        g_cards->elsewhere += card == g_cards->given && card != nullptr ? 0 : 1;
        return (platform::kSystemDefaults.*Entry)(card, args...);
    }
};

template <auto Entry>
using Watched = ScopedOverride<std::remove_reference_t<decltype(platform::sys.*Entry)>>;

// The boxes shown and the answers they get, in order; boxes beyond the answers get IDOK.
struct Dialogue {
    std::vector<Box> boxes;
    std::vector<int> answers;
    std::function<void(size_t)> beforeAnswer;
    int sleeps = 0;
};
Dialogue* g_dialogue = nullptr;

int AnswerBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
    EXPECT_EQ(owner, nullptr);
    const size_t index = g_dialogue->boxes.size();
    g_dialogue->boxes.push_back(Box{text, caption, style, g_cards->open});
    if (g_dialogue->beforeAnswer) {
        g_dialogue->beforeAnswer(index);
    }
    return index < g_dialogue->answers.size() ? g_dialogue->answers[index] : IDOK;
}

// A path as a scenario string: quoted, its backslashes escaped.
std::string Quoted(const std::string& path) {
    std::string escaped;
    for (const char c : path) {
        escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    }
    return "\"" + escaped + "\"";
}

class UpgradeDriverTest : public SimulatedComponentTest {
protected:
    void SetUp() override {
        SimulatedComponentTest::SetUp();
        card_ = Beside("card/");
        std::filesystem::remove_all(card_);
        std::filesystem::create_directories(card_ + "Current/Firmware");
        g_dialogue = &dialogue_;
        g_cards = &cards_;
    }
    void TearDown() override {
        EXPECT_EQ(cards_.opens - cards_.unopened, cards_.closes) << "a card left open";
        EXPECT_EQ(cards_.elsewhere, 0) << "a card service given another card than the one opened, or none";
        g_cards = nullptr;
        g_dialogue = nullptr;
    }

    // A scenario with the given cameras, each "model|drive", plus extra scenario lines.
    void PlayCameras(const std::vector<std::string>& cameras, const std::string& extra = "") {
        std::string text = "[component]\n" + extra;
        for (const std::string& camera : cameras) {
            const size_t bar = camera.find('|');
            text += "[camera]\nmodel = \"" + camera.substr(0, bar) + "\"\ndrive = " + Quoted(camera.substr(bar + 1)) + "\n";
        }
        Play(text);
    }
    void PlayOurCamera(const std::string& extra = "") { PlayCameras({kModel + "|" + card_}, extra); }

    int Run() {
        dialogue_.boxes.clear();
        UpgradeDriver driver;
        return driver.Run();
    }

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const Box& box : dialogue_.boxes) {
            texts.push_back(box.text);
        }
        return texts;
    }

    std::string PackagePath() const { return card_ + "Current/Firmware/R5610200.fw"; }
    std::string StagingPath() const { return PackagePath() + "~"; }
    bool PackageExists() const { return std::filesystem::exists(PackagePath()); }
    std::vector<char> Package() const { return Contents(PackagePath()); }
    static std::vector<char> Contents(const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        return std::vector<char>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    // The names in the package folder, sorted.
    std::vector<std::string> PackageFolder() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(card_ + "Current/Firmware")) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    static void WriteFileOf(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::vector<char> Payload() {
        const EmbeddedBytes payload = LocateEmbeddedData(GetModuleHandleA(nullptr), kPayloadData);
        return std::vector<char>(payload.data, payload.data + payload.size);
    }

    std::string card_;
    Dialogue dialogue_;
    CardWatch cards_;
    ScopedOverride<decltype(platform::SystemApi::OpenCardFolder)> open_{&platform::SystemApi::OpenCardFolder,
                                                                        WatchedOpen};
    ScopedOverride<decltype(platform::SystemApi::CloseCardFolder)> close_{&platform::SystemApi::CloseCardFolder,
                                                                          WatchedClose};
    Watched<&platform::SystemApi::CardCreateFileA> create_{&platform::SystemApi::CardCreateFileA,
                                                           OnTheCard<&platform::SystemApi::CardCreateFileA>::Call};
    Watched<&platform::SystemApi::CardDeleteFileA> delete_{&platform::SystemApi::CardDeleteFileA,
                                                           OnTheCard<&platform::SystemApi::CardDeleteFileA>::Call};
    Watched<&platform::SystemApi::CardMoveFileExA> move_{&platform::SystemApi::CardMoveFileExA,
                                                         OnTheCard<&platform::SystemApi::CardMoveFileExA>::Call};
    Watched<&platform::SystemApi::CardGetFileAttributesExA> attributes_{
        &platform::SystemApi::CardGetFileAttributesExA,
        OnTheCard<&platform::SystemApi::CardGetFileAttributesExA>::Call};
    Watched<&platform::SystemApi::CardGetDiskFreeSpaceExA> freeSpace_{
        &platform::SystemApi::CardGetDiskFreeSpaceExA, OnTheCard<&platform::SystemApi::CardGetDiskFreeSpaceExA>::Call};
    Watched<&platform::SystemApi::CardGetDiskFreeSpaceA> sectors_{
        &platform::SystemApi::CardGetDiskFreeSpaceA, OnTheCard<&platform::SystemApi::CardGetDiskFreeSpaceA>::Call};
    ScopedOverride<decltype(platform::SystemApi::MessageBoxA)> boxes_{&platform::SystemApi::MessageBoxA, AnswerBox};
    ScopedOverride<decltype(platform::SystemApi::Sleep)> pause_{&platform::SystemApi::Sleep,
                                                                [](DWORD) { ++g_dialogue->sleeps; }};
    ScopedOverride<decltype(platform::SystemApi::GetSystemDefaultLangID)> language_{
        &platform::SystemApi::GetSystemDefaultLangID, []() -> LANGID { return 0x0409; }};
};

TEST_F(UpgradeDriverTest, WritesThePackageAfterConfirmationAndReportsSuccess) {
    std::ofstream(PackagePath()) << "an older package";
    PlayOurCamera();

    EXPECT_EQ(Run(), 0);

    ASSERT_EQ(dialogue_.boxes.size(), 2u);
    EXPECT_EQ(dialogue_.boxes[0].text, kConfirm);
    EXPECT_EQ(dialogue_.boxes[0].style, static_cast<UINT>(MB_OKCANCEL));
    EXPECT_EQ(dialogue_.boxes[1].text, kDone);
    EXPECT_EQ(dialogue_.boxes[1].style, static_cast<UINT>(MB_OK));
    for (const Box& box : dialogue_.boxes) {
        EXPECT_EQ(box.caption, kCaption);
    }
    EXPECT_EQ(dialogue_.sleeps, 1);
    EXPECT_TRUE(Package() == Payload()) << "the package on the card is the payload, byte for byte";
    EXPECT_EQ(PackageFolder(), std::vector<std::string>{"R5610200.fw"}) << "the package alone, no staging file";

    // The order of the component's calls and releases is the whole-program rows' to check
    // (tests/e2e/rows.py, "success"); here, that everything was released.
    EXPECT_TRUE(Logged("GetCameraAt index=VT_I4:0"));
    ExpectAllReleased();
}

TEST_F(UpgradeDriverTest, CameraOfTheModelBehindAnotherModelIsSelectedByItsPosition) {
    PlayCameras({"RQ5600 Zoom Digital Camera |" + Beside("other/"), kModel + "|" + card_});
    Run();
    EXPECT_EQ(Texts(), (std::vector<std::string>{kConfirm, kDone}));
    EXPECT_TRUE(Logged("GetCameraAt index=VT_I4:1"));
    EXPECT_TRUE(Package() == Payload());
}

TEST_F(UpgradeDriverTest, CameraAtTheMatchedPositionMustStillBeOfTheModel) {
    // The collection's order changed after the walk: position 1 is now the other camera.
    const std::string other = Beside("other/");
    std::filesystem::remove_all(other);
    std::filesystem::create_directories(other + "Current/Firmware");
    PlayCameras({"RQ5601 Zoom Digital Camera|" + other, kModel + "|" + card_}, "at_offset = -1\n");
    Run();
    EXPECT_EQ(Texts(), std::vector<std::string>{Disconnected("")});
    EXPECT_FALSE(std::filesystem::exists(other + "Current/Firmware/R5610200.fw"));
    EXPECT_FALSE(PackageExists());
    ExpectAllReleased();
}

TEST_F(UpgradeDriverTest, CancelOrAnUnansweredConfirmationWritesNothing) {
    for (const int answer : {IDCANCEL, 0}) {
        PlayOurCamera();
        dialogue_.answers = {answer};
        EXPECT_EQ(Run(), 0);
        EXPECT_EQ(Texts(), std::vector<std::string>{kConfirm}) << "answer " << answer;
        EXPECT_FALSE(PackageExists());
        EXPECT_EQ(dialogue_.sleeps, 0);
    }
}

TEST_F(UpgradeDriverTest, ComponentThatCannotBeCreatedMeansTheSoftwareIsMissing) {
    ScopedOverride<decltype(platform::SystemApi::CoCreateInstance)> absent{
        &platform::SystemApi::CoCreateInstance,
        [](REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID* object) -> HRESULT {
            *object = nullptr;
            return REGDB_E_CLASSNOTREG;
        }};
    PlayOurCamera();
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(Texts(), std::vector<std::string>{kSoftwareMissing});
}

TEST_F(UpgradeDriverTest, CameraUnpluggedWhileTheConfirmationIsOpenIsReportedWithItsDrive) {
    const std::string marker = Beside("unplugged");
    std::filesystem::remove(marker);
    PlayOurCamera("unplugged_marker = " + Quoted(marker) + "\n[faults]\nGetModelName = 0x8007048F unplugged\n");
    dialogue_.beforeAnswer = [&marker](size_t box) {
        if (box == 0) {
            std::ofstream(marker) << "gone";
        }
    };

    Run();
    std::filesystem::remove(marker);

    // The drive as messages name it: its letter on Windows, the mount point on POSIX.
#if defined(_WIN32)
    const std::string drive = card_.substr(0, 1);
#else
    const std::string drive = card_.substr(0, card_.size() - 1);
#endif
    EXPECT_EQ(Texts(), (std::vector<std::string>{kConfirm, Disconnected(drive)}));
    EXPECT_EQ(dialogue_.sleeps, 0) << "the card is not probed once the camera has gone";
    EXPECT_FALSE(PackageExists());
    ExpectAllReleased();
}

TEST_F(UpgradeDriverTest, ListRunningShortIsNoCameraRatherThanTheLastCameraAgain) {
    // The count promises a second camera, and Next leaves the VARIANT alone past the end.
    PlayOurCamera("count = 2\npast_end = untouched\n");
    Run();
    EXPECT_EQ(Texts(), std::vector<std::string>{Disconnected("")});
    EXPECT_FALSE(PackageExists());
    ExpectAllReleased();
}

// A component that hands out something other than a camera, or a drive path that cannot
// name the card.  Each run ends as a disconnected camera before the confirmation, without a
// drive letter, and writes nothing anywhere: neither on the card nor under the working
// folder, which holds the package folders so that a path taken relative to it would land.
struct HostileRow {
    const char* name;
    // The [camera] lines after the model, given the card's drive path (ending in '/').
    std::string (*camera)(const std::string& card);
    // The drive path the selected camera reports, when one is reported: message 135 names
    // its drive, though the path is refused.
    const char* reported = "";
};

void PrintTo(const HostileRow& row, std::ostream* out) { *out << row.name; }

std::string DriveLine(const std::string& quoted) { return "drive = " + quoted + "\n"; }

class HostileComponentTest : public UpgradeDriverTest, public testing::WithParamInterface<HostileRow> {
protected:
    void SetUp() override {
        UpgradeDriverTest::SetUp();
        workingFolder_ = Beside("working/");
        std::filesystem::remove_all(workingFolder_);
        std::filesystem::create_directories(workingFolder_ + "Current/Firmware");
        std::filesystem::create_directories(workingFolder_ + "sub/Current/Firmware");
        savedWorkingFolder_ = std::filesystem::current_path();
        std::filesystem::current_path(workingFolder_);
    }
    void TearDown() override {
        std::filesystem::current_path(savedWorkingFolder_);
        UpgradeDriverTest::TearDown();
    }

    // Every file under the working folder.
    std::vector<std::string> FilesInWorkingFolder() const {
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(workingFolder_)) {
            if (!entry.is_directory()) {
                files.push_back(entry.path().string());
            }
        }
        return files;
    }

    std::string workingFolder_;
    std::filesystem::path savedWorkingFolder_;
};

TEST_P(HostileComponentTest, EndsAsDisconnectedAndWritesNothing) {
    Play("[component]\n[camera]\nmodel = \"" + kModel + "\"\n" + GetParam().camera(card_));
    EXPECT_EQ(Run(), 0);
    const std::string reported = GetParam().reported;
    EXPECT_EQ(Texts(), std::vector<std::string>{Disconnected(reported.substr(0, platform::DriveNameLength(reported.c_str())))});
    EXPECT_EQ(dialogue_.sleeps, 0);
    EXPECT_FALSE(PackageExists());
    EXPECT_EQ(FilesInWorkingFolder(), std::vector<std::string>{});
    ExpectAllReleased();
}

INSTANTIATE_TEST_SUITE_P(
    Hostile, HostileComponentTest,
    testing::Values(
        // Items of the walk and results of the selection that hold no object.
        HostileRow{"walkedString", [](const std::string& card) { return DriveLine(Quoted(card)) + "item = bstr\n"; }},
        HostileRow{"walkedNumber", [](const std::string& card) { return DriveLine(Quoted(card)) + "item = i4\n"; }},
        HostileRow{"walkedReference",
                   [](const std::string& card) { return DriveLine(Quoted(card)) + "item = byref\n"; }},
        HostileRow{"selectedString",
                   [](const std::string& card) { return DriveLine(Quoted(card)) + "selected = bstr\n"; }},
        HostileRow{"selectedNumber",
                   [](const std::string& card) { return DriveLine(Quoted(card)) + "selected = i4\n"; }},
        HostileRow{"selectedReference",
                   [](const std::string& card) { return DriveLine(Quoted(card)) + "selected = byref\n"; }},
        HostileRow{"selectionLeftUntouched",
                   [](const std::string& card) { return DriveLine(Quoted(card)) + "selected = untouched\n"; }},
        // A drive path under which the package would not land on the card (the forms are
        // the card layout's to judge: tests/unit/app/CardLayoutTest.cpp).
        HostileRow{"relativeDrivePath", [](const std::string&) { return DriveLine("\"sub/\""); }, "sub/"}),
    RowName<HostileRow>);

// How the card's state ends a confirmed run.  These messages have no inserts: they are
// shown exactly as loaded, so the confirmation stays the only text formatted.
struct CardRow {
    const char* name;
    void (*prepare)(const std::string& card, ULONGLONG payloadSize);
    ULONGLONG freeBytes;  // 0: the card folder's real free space
    std::string lastText;
    bool written;
};

void PrintTo(const CardRow& row, std::ostream* out) { *out << row.name; }

ULONGLONG g_reportedFree = 0;
constexpr DWORD kCluster = 4096;
// What the payload of 1,935,180 bytes needs on that card: 473 whole clusters, and one more
// for the staging file's folder entry.
constexpr ULONGLONG kPayloadRoom = 474 * kCluster;

class CardEndingTest : public UpgradeDriverTest, public testing::WithParamInterface<CardRow> {};

TEST_P(CardEndingTest, CardStateDecidesTheLastMessage) {
    const CardRow& row = GetParam();
    row.prepare(card_, Payload().size());
    g_reportedFree = row.freeBytes;
    ScopedOverride<decltype(platform::SystemApi::CardGetDiskFreeSpaceExA)> space{
        &platform::SystemApi::CardGetDiskFreeSpaceExA,
        [](HANDLE card, LPCSTR folder, PULARGE_INTEGER available, PULARGE_INTEGER total,
           PULARGE_INTEGER totalFree) -> BOOL {
            const BOOL result =
                platform::kSystemDefaults.CardGetDiskFreeSpaceExA(card, folder, available, total, totalFree);
            if (result != 0 && g_reportedFree != 0) {
                available->QuadPart = g_reportedFree;
            }
            return result;
        }};
    // Clusters of 4 KiB, whatever the folder's volume; its sectors stay as they are for the
    // read-back.
    ScopedOverride<decltype(platform::SystemApi::CardGetDiskFreeSpaceA)> clusters{
        &platform::SystemApi::CardGetDiskFreeSpaceA,
        [](HANDLE card, LPCSTR folder, LPDWORD perCluster, LPDWORD bytesPerSector, LPDWORD freeClusters,
           LPDWORD total) -> BOOL {
            const BOOL result = platform::kSystemDefaults.CardGetDiskFreeSpaceA(card, folder, perCluster,
                                                                                bytesPerSector, freeClusters, total);
            if (result != 0 && *bytesPerSector != 0) {
                *perCluster = kCluster / *bytesPerSector;
            }
            return result;
        }};
    PlayOurCamera();
    FailingFormatting formatting;
    Run();

    ASSERT_EQ(dialogue_.boxes.size(), 2u);
    EXPECT_EQ(dialogue_.boxes[1].text, row.lastText);
    EXPECT_EQ(dialogue_.boxes[1].style, static_cast<UINT>(MB_OK));
    // The card opened once, on the drive path, for the card's part and only for it.
    EXPECT_EQ(cards_.opens, 1);
    EXPECT_EQ(cards_.drive, card_);
    EXPECT_FALSE(dialogue_.boxes[0].whileCardOpen);
    EXPECT_FALSE(dialogue_.boxes[1].whileCardOpen);
    EXPECT_EQ(formatting.Calls(), 1);
    EXPECT_EQ(dialogue_.sleeps, 1);
    if (row.written) {
        EXPECT_TRUE(Package() == Payload());
    } else {
        EXPECT_FALSE(std::filesystem::is_regular_file(PackagePath()));
    }
}

const std::string kNoCard = "Please confirm there is a flash card in the camera and restart the application.";
const std::string kCardFull =
    "There is insufficient space on your memory card to perform this upgrade.\r\nPlease free up space and restart "
    "the application.";
const std::string kFailed =
    "Firmware upgrade failed!  Please contact the vendor at: https://support.quelda.example/firmware";

void AsPrepared(const std::string&, ULONGLONG) {}
void WithoutFolders(const std::string& card, ULONGLONG) { std::filesystem::remove_all(card + "Current"); }
void WithoutDriveFolder(const std::string& card, ULONGLONG) { std::filesystem::remove_all(card); }
void PackageNameTakenByAFolder(const std::string& card, ULONGLONG) {
    std::filesystem::create_directories(card + "Current/Firmware/R5610200.fw");
}

INSTANTIATE_TEST_SUITE_P(
    Cards, CardEndingTest,
    testing::Values(CardRow{"foldersMissing", WithoutFolders, 0, kNoCard, false},
                    // The card cannot be opened: the probe pauses all the same, and finds none.
                    CardRow{"driveFolderMissing", WithoutDriveFolder, 0, kNoCard, false},
                    CardRow{"oneByteShortOfThePayload", AsPrepared, 1935179, kCardFull, false},
                    CardRow{"roomForThePayloadsBytesOnly", AsPrepared, 1935180, kCardFull, false},
                    CardRow{"oneByteShortOfItsClusters", AsPrepared, kPayloadRoom - 1, kCardFull, false},
                    CardRow{"exactlyEnough", AsPrepared, kPayloadRoom, kDone, true},
                    CardRow{"packageCannotBeCreated", PackageNameTakenByAFolder, 0, kFailed, false}),
    RowName<CardRow>);

// The package write, against the real file services with one of them failing, or a card
// that stores other bytes than it is given.  The card holds an older package; a failed
// write leaves it as it was and no staging file beside it.
const std::string kOlderPackage = "an older package";

struct WriteStepRow {
    const char* name;
    std::shared_ptr<void> (*arm)();  // replaces the service for the run
    bool olderKept;                  // false: the new package is in place, but the move reported failure
    const std::string* lastText = &kFailed;
};

void PrintTo(const WriteStepRow& row, std::ostream* out) { *out << row.name; }

// The write's `step` failing the `nth` time it comes (support/CardSteps.h).
std::shared_ptr<void> Failing(const char* step, int nth = 1, bool callFirst = false, DWORD error = ERROR_GEN_FAILURE) {
    auto steps = std::make_shared<CardSteps>();
    steps->Fail(step, nth, error, callFirst);
    return steps;
}

// The volume as the system describes it, but no longer taking writes: what a file system the
// system found inconsistent during the run reports.
class ReadOnlyVolume {
public:
    ReadOnlyVolume() = default;

private:
    static BOOL Describe(HANDLE file, LPWSTR name, DWORD nameSize, LPDWORD serial, LPDWORD longest, LPDWORD flags,
                         LPWSTR fileSystem, DWORD fileSystemSize) {
        const BOOL told = platform::kSystemDefaults.GetVolumeInformationByHandleW(file, name, nameSize, serial, longest,
                                                                                  flags, fileSystem, fileSystemSize);
        if (told && flags != nullptr) {
            *flags |= FILE_READ_ONLY_VOLUME;
        }
        return told;
    }

    ScopedOverride<decltype(platform::SystemApi::GetVolumeInformationByHandleW)> swap_{
        &platform::SystemApi::GetVolumeInformationByHandleW, Describe};
};

class WriteStepTest : public UpgradeDriverTest, public testing::WithParamInterface<WriteStepRow> {};

TEST_P(WriteStepTest, FailedStepIsAFailedUpgradeAndTheStagingFileGoes) {
    const WriteStepRow& row = GetParam();
    WriteFileOf(PackagePath(), kOlderPackage);
    PlayOurCamera();
    {
        const std::shared_ptr<void> armed = row.arm();
        Run();
    }
    EXPECT_EQ(Texts(), (std::vector<std::string>{kConfirm, *row.lastText}));
    EXPECT_EQ(PackageFolder(), std::vector<std::string>{"R5610200.fw"});
    if (row.olderKept) {
        EXPECT_EQ(Package(), std::vector<char>(kOlderPackage.begin(), kOlderPackage.end()));
    } else {
        EXPECT_TRUE(Package() == Payload());
    }
    ExpectAllReleased();
}

INSTANTIATE_TEST_SUITE_P(
    Steps, WriteStepTest,
    testing::Values(
        WriteStepRow{"createStaging", [] { return Failing("create staging"); }, true},
        WriteStepRow{"write", [] { return Failing("write"); }, true},
        WriteStepRow{"flush", [] { return Failing("flush"); }, true},
        WriteStepRow{"sectorSize", [] { return Failing("sector size"); }, true},
        WriteStepRow{"openForReadBack", [] { return Failing("open read-back"); }, true},
        WriteStepRow{"read", [] { return Failing("read"); }, true},
        WriteStepRow{"readInTheMiddle", [] { return Failing("read", 2); }, true},
        WriteStepRow{"closeAfterReading", [] { return Failing("close read-back"); }, true},
        WriteStepRow{"move", [] { return Failing("move"); }, true},
        // Out of room after all, as the write or the move says: 138, not 131.
        WriteStepRow{"writeOutOfRoom", [] { return Failing("write", 1, false, ERROR_DISK_FULL); }, true, &kCardFull},
        WriteStepRow{"moveOutOfRoom", [] { return Failing("move", 1, false, ERROR_HANDLE_DISK_FULL); }, true,
                     &kCardFull},
        // Late failures: the complete new package is in place, and 131 is shown all the same
        // (the move may not be on the card).
        WriteStepRow{"moveDoneButNotOnTheCard", [] { return Failing("move", 1, true); }, false},
        WriteStepRow{"flushAfterTheMove", [] { return Failing("flush after move", 1, true); }, false},
        WriteStepRow{"volumeNotTold", [] { return Failing("volume"); }, false},
        WriteStepRow{"volumeTurnedReadOnly", [] { return std::shared_ptr<void>(std::make_shared<ReadOnlyVolume>()); },
                     false},
        WriteStepRow{"closeAfterTheMove", [] { return Failing("close after move"); }, false},
        WriteStepRow{"packageNotFoundUnderItsName", [] { return Failing("attributes"); }, false}),
    RowName<WriteStepRow>);

// The card keeps one byte other than it was given, and the write reports every byte taken.
BOOL CorruptingWrite(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
    const auto* bytes = static_cast<const char*>(data);
    std::vector<char> stored;
    for (DWORD i = 0; i < size; ++i) {
        stored.push_back(i == size / 2 ? static_cast<char>(bytes[i] ^ 0x20) : bytes[i]);
    }
    return platform::kSystemDefaults.WriteFile(file, stored.data(), size, written, overlapped);
}

TEST_F(UpgradeDriverTest, CardThatStoresOtherBytesFailsTheUpgradeAndLeavesNothingUnderThePackageName) {
    ScopedOverride<decltype(platform::SystemApi::WriteFile)> corrupting{&platform::SystemApi::WriteFile,
                                                                        CorruptingWrite};
    for (const bool older : {false, true}) {
        SCOPED_TRACE(older ? "an older package on the card" : "no package on the card");
        if (older) {
            WriteFileOf(PackagePath(), kOlderPackage);
        }
        PlayOurCamera();
        Run();
        EXPECT_EQ(Texts(), (std::vector<std::string>{kConfirm, kFailed}));
        if (older) {
            EXPECT_EQ(PackageFolder(), std::vector<std::string>{"R5610200.fw"});
            EXPECT_EQ(Package(), std::vector<char>(kOlderPackage.begin(), kOlderPackage.end()));
        } else {
            EXPECT_TRUE(PackageFolder().empty());
        }
    }
}

TEST_F(UpgradeDriverTest, StagingFileOfAnInterruptedRunIsReplaced) {
    WriteFileOf(StagingPath(), std::string(Payload().size() + 4096, '\xEE'));
    WriteFileOf(PackagePath(), kOlderPackage);
    PlayOurCamera();
    Run();
    EXPECT_EQ(Texts(), (std::vector<std::string>{kConfirm, kDone}));
    EXPECT_EQ(PackageFolder(), std::vector<std::string>{"R5610200.fw"});
    EXPECT_TRUE(Package() == Payload());
}

// A card of a fixed capacity at the drive folder g_drive: what its files take is not free.
ULONGLONG g_capacity = 0;
std::string g_drive;

BOOL FixedCapacity(HANDLE, LPCSTR folder, PULARGE_INTEGER available, PULARGE_INTEGER total,
                   PULARGE_INTEGER totalFree) {
    std::string path = g_drive + folder;
    std::replace(path.begin(), path.end(), '\\', '/');  // both systems take '/'
    ULONGLONG used = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path)) {
        used += entry.is_regular_file() ? entry.file_size() : 0;
    }
    available->QuadPart = g_capacity > used ? g_capacity - used : 0;
    total->QuadPart = g_capacity;
    totalFree->QuadPart = available->QuadPart;
    return TRUE;
}

TEST_F(UpgradeDriverTest, LeftoverStagingFileIsRemovedBeforeTheProbeSoThatItsSpaceCounts) {
    const std::size_t room = Payload().size() + (1u << 20);
    WriteFileOf(StagingPath(), std::string(room, '\xEE'));
    WriteFileOf(PackagePath(), kOlderPackage);
    g_capacity = kOlderPackage.size() + room;  // the older package stays, and still counts
    g_drive = card_;
    ScopedOverride<decltype(platform::SystemApi::CardGetDiskFreeSpaceExA)> space{
        &platform::SystemApi::CardGetDiskFreeSpaceExA, FixedCapacity};
    PlayOurCamera();
    Run();
    EXPECT_EQ(Texts(), (std::vector<std::string>{kConfirm, kDone}));
    EXPECT_EQ(PackageFolder(), std::vector<std::string>{"R5610200.fw"});
    EXPECT_TRUE(Package() == Payload());
}

// The progress lines of the trace, on the paths that emit them.
struct ProgressRow {
    const char* name;
    const char* faults;
    int cancelAt;  // box answered with Cancel, -1 for none
    std::vector<std::string> lines;
};

void PrintTo(const ProgressRow& row, std::ostream* out) { *out << row.name; }

class ProgressTest : public UpgradeDriverTest, public testing::WithParamInterface<ProgressRow> {};

TEST_P(ProgressTest, ProgressLinesFollowTheEnding) {
    const ProgressRow& row = GetParam();
    PlayOurCamera(std::string("[faults]\n") + row.faults);
    if (row.cancelAt >= 0) {
        dialogue_.answers.assign(static_cast<size_t>(row.cancelAt) + 1, IDOK);
        dialogue_.answers.back() = IDCANCEL;
    }
    CapturingTraceSink sink;
    {
        ScopedTraceFlags progress(TraceProgress);
        Run();
    }
    EXPECT_EQ(sink.lines, row.lines);
}

const std::string kLooking = "WinMain: Looking for Cameras!\n";
const std::string kCompleted = "WinMain: Completed WinMain!\n";

INSTANTIATE_TEST_SUITE_P(
    Endings, ProgressTest,
    testing::Values(ProgressRow{"normal", "", -1, {kLooking, kCompleted}},
                    ProgressRow{"cancel", "", 0, {kLooking}},
                    ProgressRow{"componentErrorBeforeTheWalk", "GetCameraCollection = 0x80004005\n", -1, {kCompleted}},
                    ProgressRow{"componentErrorDuringTheWalk", "GetCameraCount = 0x80004005\n", -1,
                                {kLooking, kCompleted}}),
    RowName<ProgressRow>);

// Every allocation and conversion that a run makes, failed once each, one run at a time.
class FaultSweep : public UpgradeDriverTest {
protected:
    // Runs once counting the calls of the entry, then once per call with that call failing.
    // `upTo` limits the sweep to the first calls (0: all of them).
    template <auto Entry, typename R>
    void SweepEntry(const char* name, R failure, DWORD lastError, int upTo = 0) {
        int calls = 0;
        {
            PlayOurCamera();
            FailingCall<Entry> counting(0);
            Run();
            calls = counting.Calls();
        }
        ASSERT_GT(calls, 0) << name << " is never called";
        if (upTo > 0) {
            ASSERT_GE(calls, upTo);
            calls = upTo;
        }
        for (int nth = 1; nth <= calls; ++nth) {
            SCOPED_TRACE(std::string(name) + " call " + std::to_string(nth));
            std::filesystem::remove(PackagePath());
            ClearLog();
            PlayOurCamera();
            {
                FailingCall<Entry> failing(nth, failure, lastError);
                EXPECT_EQ(Run(), 0);
            }
            CheckOutcome();
        }
    }

    // A run that met a failure shows the message its moment calls for, never leaves a
    // partial package and releases everything it got from the component.  (A failure after
    // the write, while loading the success message, leaves the whole package.)
    void CheckOutcome() {
        ASSERT_FALSE(dialogue_.boxes.empty());
        EXPECT_FALSE(std::filesystem::exists(StagingPath())) << "the staging file was left on the card";
        const std::string& last = dialogue_.boxes.back().text;
        if (last == kDone) {
            EXPECT_TRUE(Package() == Payload());
        } else if (PackageExists()) {
            EXPECT_TRUE(Package() == Payload()) << "a partial package was left on the card";
        }
        const bool reached = Logged("GetCameraEnumerator");
        if (last == kSoftwareMissing) {
            EXPECT_FALSE(reached) << "software reported missing after it was reached";
        } else if (last.rfind("The camera ", 0) == 0) {
            EXPECT_TRUE(reached) << "camera reported disconnected before the software was reached";
        }
        ExpectAllReleased();
    }
};

TEST_F(FaultSweep, TaskAllocator) { SweepEntry<&platform::SystemApi::CoTaskMemAlloc>("CoTaskMemAlloc", LPVOID{}, 0); }
TEST_F(FaultSweep, StringAllocator) {
    SweepEntry<&platform::SystemApi::SysAllocString>("SysAllocString", BSTR{}, 0);
    SweepEntry<&platform::SystemApi::SysAllocStringLen>("SysAllocStringLen", BSTR{}, 0);
}
TEST_F(FaultSweep, Heap) { SweepEntry<&platform::SystemApi::HeapAlloc>("HeapAlloc", static_cast<void*>(nullptr), 0); }
TEST_F(FaultSweep, Conversions) {
    SweepEntry<&platform::SystemApi::MultiByteToWideChar>("MultiByteToWideChar", 0, ERROR_NO_UNICODE_TRANSLATION);
    SweepEntry<&platform::SystemApi::WideCharToMultiByte>("WideCharToMultiByte", 0, ERROR_INSUFFICIENT_BUFFER);
}
TEST_F(FaultSweep, VariantCopyAndClear) {
    SweepEntry<&platform::SystemApi::VariantCopy>("VariantCopy", E_OUTOFMEMORY, 0);
    // The clears of the walk and the two of the selection's result (before it is received
    // and after it is copied); the later ones are the teardown's, where a clear that failed
    // without releasing would only be an artefact of the fake.
    SweepEntry<&platform::SystemApi::VariantClear>("VariantClear", DISP_E_BADVARTYPE, 0, 3);
}

TEST_F(FaultSweep, FormattingThatFailsShowsAnEmptyTextAndTheRunGoesOn) {
    int calls = 0;
    {
        FailingFormatting counting;
        PlayOurCamera();
        Run();
        calls = counting.Calls();
    }
    EXPECT_EQ(calls, 1) << "only the confirmation has inserts on the way to success";
    for (int nth = 1; nth <= calls; ++nth) {
        std::filesystem::remove(PackagePath());
        ClearLog();
        PlayOurCamera();
        {
            FailingFormatting failing(nth);
            EXPECT_EQ(Run(), 0);
        }
        EXPECT_EQ(Texts(), (std::vector<std::string>{"", kDone}));
        CheckOutcome();
    }
}

}  // namespace
