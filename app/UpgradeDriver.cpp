#include "app/UpgradeDriver.h"

#include "app/CameraSession.h"
#include "app/CardLayout.h"
#include "app/MemoryCard.h"
#include "app/MessageId.h"
#include "app/PackagePaths.h"
#include "camera/CameraCalls.h"
#include "com/ComError.h"
#include "platform/SystemApi.h"
#include "text/ModuleFromAddress.h"
#include "trace/TraceFlags.h"

namespace {

// Catalogue texts come from the module that holds this code.
HMODULE CatalogueModule() { return ModuleFromAddress(reinterpret_cast<const void*>(&CatalogueModule)); }

int KilobytesOf(DWORD bytes) { return static_cast<int>(bytes / 1000); }

}  // namespace

UpgradeDriver::UpgradeDriver()
    : trace_("WinMain"), module_(GetModuleHandleA(nullptr)), catalogue_(CatalogueModule()), indexVariant_(0) {
    CoInitialize(nullptr);
    camera::ActivateCameraManager(manager_, trace_);
}

int UpgradeDriver::Run() {
    try {
        Ending ending = Ending::Normal;
        try {
            ending = Converse();
        } catch (const _com_error&) {
            ReportComponentFailure();
        }
        if (ending == Ending::Normal && (TraceFlags & TraceProgress) != 0) {
            trace_.Print("Completed WinMain!");
        }
    } catch (...) {
        // Nothing sensible can be shown for a failure outside the camera conversation
        // (or one while reporting it); the run just ends.
    }
    return 0;
}

UpgradeDriver::Ending UpgradeDriver::Converse() {
    CameraSession session;
    session.Open(manager_);
    softwareReached_ = true;

    modelName_ = LoadEmbeddedText(module_, kModelNameData).Text();
    const LONG matches = session.CountMatching(modelName_, itemVariant_, indexVariant_, trace_);
    if (matches != 1) {
        LoadMessage(matches > 1 ? kMsgMoreThanOneCamera : kMsgNoCamera);
        messageText_.Format(messageText_.Text(), TextString(modelName_).Text());
        ShowMessage(MB_OK);
        return Ending::Early;
    }

    const CardLayout layout = session.Select(modelName_, itemVariant_, indexVariant_, driveName_);
    return UpgradeSelectedCamera(session, layout);
}

UpgradeDriver::Ending UpgradeDriver::UpgradeSelectedCamera(CameraSession& session, const CardLayout& layout) {
    versionLabel_ = LoadEmbeddedText(module_, kVersionLabelData);
    payload_ = LocateEmbeddedData(module_, kPayloadData);

    LoadMessage(kMsgConfirm);
    messageText_.Format(messageText_.Text(), TextString(modelName_).Text(), versionLabel_.Text(),
                        KilobytesOf(payload_.size));
    // Only an explicit OK writes the package: a box that could not be shown is no consent.
    if (ShowMessage(MB_OKCANCEL) != IDOK) {
        return Ending::Early;
    }

    const PackagePaths package(LoadEmbeddedText(module_, kPackageFileNameData).Text());
    session.CheckPresent();
    int lastMessage = 0;
    const Ending ending = WorkOnCard(layout, package, lastMessage);
    LoadMessage(lastMessage);
    ShowMessage(MB_OK);
    return ending;
}

UpgradeDriver::Ending UpgradeDriver::WorkOnCard(const CardLayout& layout, const PackagePaths& package,
                                                int& lastMessage) {
    // Opened once for the card's part.  A drive folder that cannot be opened leaves the card
    // empty, and every service on it fails: the probe still pauses, and finds no card.
    const platform::CardFolder card(platform::sys.OpenCardFolder(layout.Drive()));
    RemoveLeftoverStaging(card, package.Staging());
    if (!ProbeMemoryCard(card, package.Folder(), space_)) {
        lastMessage = kMsgNoCard;
        return Ending::Early;
    }

    if (PayloadExceedsFreeSpace(payload_.size, AllocationUnit(card, package.Folder()), space_.freeBytesAvailable)) {
        lastMessage = kMsgCardFull;
        return Ending::Early;
    }

    const WriteOutcome written = WritePackageFile(card, package, payload_.data, payload_.size, &bytesWritten_);
    lastMessage = written == WriteOutcome::Written  ? kMsgUpgradeDone
                  : written == WriteOutcome::NoRoom ? kMsgCardFull
                                                    : kMsgUpgradeFailed;
    return Ending::Normal;
}

void UpgradeDriver::ReportComponentFailure() {
    if (softwareReached_) {
        LoadMessage(kMsgDisconnected);
        messageText_.Format(messageText_.Text(), TextString(modelName_).Text(), driveName_.Text());
    } else {
        modelName_ = LoadEmbeddedText(module_, kModelNameData).Text();
        LoadMessage(kMsgSoftwareMissing);
        messageText_.Format(messageText_.Text(), TextString(modelName_).Text());
    }
    ShowMessage(MB_OK);
}

void UpgradeDriver::LoadMessage(int id) {
    catalogue_.LoadLocalized(messageText_, id, platform::sys.GetSystemDefaultLangID(), true);
}

int UpgradeDriver::ShowMessage(UINT style) {
    catalogue_.LoadLocalized(caption_, kMsgCaption, platform::sys.GetSystemDefaultLangID(), true);
    return platform::sys.MessageBoxA(nullptr, messageText_.Text(), caption_.Text(), style);
}
