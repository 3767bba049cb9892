// The conversation with the camera component from the collection to the selected camera:
// discovery of the one camera of the model, its selection, and the presence check.
//
// Holds the collection, enumerator and camera references of one conversation; they are
// released when the session ends, in the order camera, enumerator, collection.  Every
// failure raises _com_error; nothing is caught here.
#pragma once

#include "app/CardLayout.h"
#include "camera/CameraInterfaces.h"
#include "com/InterfaceRef.h"
#include "com/ScopedVariant.h"
#include "com/WideStringHandle.h"
#include "text/TextString.h"
#include "trace/TraceScope.h"

class CameraSession {
public:
    CameraSession() = default;
    CameraSession(const CameraSession&) = delete;
    CameraSession& operator=(const CameraSession&) = delete;

    // The collection from the manager and its enumerator.  An enumerator object that does
    // not answer for IEnumVARIANT leaves the enumerator empty; it fails at its first use.
    void Open(const InterfaceRef<CameraManager>& manager);

    // Walks the cameras from the start and counts those whose model name equals
    // `modelName` exactly.  `index` keeps the position of the last match; `item` and the
    // session's camera hold the last camera examined.
    LONG CountMatching(const WideStringHandle& modelName, ScopedVariant& item, ScopedVariant& index,
                       TraceScope& trace);

    // Selects the camera at the position `index` holds, checks that it is still a camera of
    // the model, and reads its drive: the drive's name for messages (its letter on Windows)
    // into `driveName`, taken first so that a drive path the card's layout refuses is named
    // too, and the card's layout on its drive path, which checks it once (raising
    // _com_error for a path it refuses).
    CardLayout Select(const WideStringHandle& modelName, ScopedVariant& item, const ScopedVariant& index,
                      TextString& driveName);

    // Raises if the selected camera has gone away.
    void CheckPresent();

private:
    InterfaceRef<CameraCollection> collection_;
    InterfaceRef<IEnumVARIANT> enumerator_;
    InterfaceRef<CameraItem> camera_;
};
