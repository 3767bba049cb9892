#include "app/CameraSession.h"

#include "app/CardLayout.h"
#include "camera/CameraCalls.h"
#include "com/ComError.h"
#include "trace/TraceFlags.h"

namespace {

// Raised when the camera at the matched position is not a camera of the model any more:
// the list of cameras changed between the walk and the selection.
constexpr HRESULT kCameraListChanged = E_UNEXPECTED;

}  // namespace

void CameraSession::Open(const InterfaceRef<CameraManager>& manager) {
    camera::GetCameraCollection(manager, collection_);
    camera::GetCameraEnumerator(collection_, enumerator_);
}

LONG CameraSession::CountMatching(const WideStringHandle& modelName, ScopedVariant& item, ScopedVariant& index,
                                  TraceScope& trace) {
    camera::ResetEnumerator(enumerator_);
    if ((TraceFlags & TraceProgress) != 0) {
        trace.Print("Looking for Cameras!");
    }

    LONG matches = 0;
    // The count is asked anew before every pass, so a camera plugged or unplugged during
    // the walk is seen at the next pass.
    for (LONG position = 0; position < camera::GetCameraCount(collection_); ++position) {
        // Next need not write anything once the list has run short: the item is emptied
        // whole first, so a short list is never read as the previous camera again.
        camera::NextItem(enumerator_, item.Receive());
        camera::AssignCamera(camera_, item.Value());
        if (camera::GetModelName(camera_) == modelName) {
            ++matches;
            index.Set(position);
        }
    }
    return matches;
}

CardLayout CameraSession::Select(const WideStringHandle& modelName, ScopedVariant& item, const ScopedVariant& index,
                                 TextString& driveName) {
    {
        ScopedVariant result;
        camera::GetCameraAt(collection_, index.Value(), result.Receive());
        item.Set(result.Value());
        result.Reset();
    }
    camera::AssignCamera(camera_, item.Value());
    // The position came from the walk; make sure it still names a camera of the model, so
    // the package never goes to another camera's card.
    if (camera::GetModelName(camera_) != modelName) {
        ThrowComError(kCameraListChanged);
    }
    // The drive's name is taken first, so that message 135 names the drive even when its
    // path is refused; the layout checks the path before anything is built on it.
    const WideStringHandle path = camera::GetDrivePath(camera_);
    const TextString narrow(path);
    driveName = narrow.Left(platform::DriveNameLength(narrow.Text()));
    return CardLayout(path);
}

void CameraSession::CheckPresent() { camera::GetModelName(camera_); }
