// The whole life of the upgrade utility: find the one camera of the model, confirm with the
// user, probe the memory card, write the package and report every outcome in a message box.
//
// One straight sequence on one thread.  The members are the procedure's state in the order
// it is created; they are destroyed in the reverse order, which is the teardown order:
// version label, drive name, caption, message text, index variant, item variant, model
// name, manager, and the trace scope last.  The card's layout, which the selection makes
// of the drive path, lives from the selection to the end of the conversation.
#pragma once

#include "app/EmbeddedData.h"
#include "app/MemoryCard.h"
#include "camera/CameraInterfaces.h"
#include "com/InterfaceRef.h"
#include "com/ScopedVariant.h"
#include "com/WideStringHandle.h"
#include "platform/Platform.h"
#include "text/Catalogue.h"
#include "text/TextString.h"
#include "trace/TraceScope.h"

class CameraSession;
class CardLayout;

class UpgradeDriver {
public:
    UpgradeDriver();
    UpgradeDriver(const UpgradeDriver&) = delete;
    UpgradeDriver& operator=(const UpgradeDriver&) = delete;

    // Runs the procedure once.  Always returns 0, the process exit code.
    int Run();

private:
    enum class Ending { Normal, Early };

    Ending Converse();
    Ending UpgradeSelectedCamera(CameraSession& session, const CardLayout& layout);
    // The card's part, on the card opened for it: the leftover removal, the probe, the room
    // check and the write.  `lastMessage` receives the message that ends the run.
    Ending WorkOnCard(const CardLayout& layout, const PackagePaths& package, int& lastMessage);
    void ReportComponentFailure();

    void LoadMessage(int id);
    int ShowMessage(UINT style);

    TraceScope trace_;
    HMODULE module_;
    Catalogue catalogue_;
    InterfaceRef<CameraManager> manager_;
    WideStringHandle modelName_;
    ScopedVariant itemVariant_;
    ScopedVariant indexVariant_;
    TextString messageText_;
    TextString caption_;
    TextString driveName_;
    TextString versionLabel_;
    bool softwareReached_ = false;
    EmbeddedBytes payload_;
    CardSpace space_{};
    DWORD bytesWritten_ = 0;
};
