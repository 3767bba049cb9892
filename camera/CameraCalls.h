// The client side of the camera component: one function per call the system makes.
//
// Each function calls through an InterfaceRef (an empty one raises _com_error with
// E_POINTER) and turns a failed status into _com_error by the rule of ComCall.h.
// Everything handed out is owned on return: references by the InterfaceRef passed in,
// strings by the returned WideStringHandle, VARIANTs by the caller, who clears them.
//
// The order of the conversation (app/CameraSession.cpp), the VARIANTs held in ScopedVariants:
//   ActivateCameraManager(manager, trace);
//   GetCameraCollection(manager, collection);
//   GetCameraEnumerator(collection, enumerator);
//   ResetEnumerator(enumerator);
//   for each position while position < GetCameraCount(collection):
//       NextItem(enumerator, item.Receive());      // the item emptied first
//       AssignCamera(camera, item.Value()); GetModelName(camera);
//   GetCameraAt(collection, index.Value(), result.Receive()); item.Set(result.Value());
//   AssignCamera(camera, item.Value()); GetModelName(camera); GetDrivePath(camera);
//   after the confirmation: GetModelName(camera), the presence check.
#pragma once

#include "platform/Platform.h"

#include "camera/CameraInterfaces.h"
#include "com/InterfaceRef.h"
#include "com/WideStringHandle.h"
#include "trace/TraceScope.h"

namespace camera {

// Creates the component (in-process server, handler or local server), starts it and asks
// it for CameraManager.  Only when no server is registered for the class
// (REGDB_E_CLASSNOTREG) is it created from the component the release carries beside the
// program, side by side; a registered server (the maker's) always keeps the class.  No
// other status is examined: after any failure `manager` is empty, and its first use raises
// E_POINTER.  With TraceProgress set, the side-by-side creation's outcome is traced.
// Raises nothing but what a trace sink raises.
void ActivateCameraManager(InterfaceRef<CameraManager>& manager, TraceScope& trace);

// The collection as the manager hands it out, without asking it for its interface; a
// null collection leaves `collection` empty.
void GetCameraCollection(const InterfaceRef<CameraManager>& manager, InterfaceRef<CameraCollection>& collection);

LONG GetCameraCount(const InterfaceRef<CameraCollection>& collection);

// The camera at the position `index` holds (VT_I4), into `camera`, which the caller has
// initialized and must clear.
void GetCameraAt(const InterfaceRef<CameraCollection>& collection, const VARIANT& index, VARIANT* camera);

// Asks the object that GetCameraEnumerator hands out for IEnumVARIANT and releases it.
// A null object, or one that answers E_NOINTERFACE, leaves `enumerator` empty without an
// error; any other failing answer raises it.
void GetCameraEnumerator(const InterfaceRef<CameraCollection>& collection, InterfaceRef<IEnumVARIANT>& enumerator);

// Reset and Next(1) of the enumerator; their statuses are not examined.
void ResetEnumerator(const InterfaceRef<IEnumVARIANT>& enumerator);
void NextItem(const InterfaceRef<IEnumVARIANT>& enumerator, VARIANT* item);

// Asks the object in the interface-pointer field of `item` for CameraItem when the VARIANT
// holds an object (VT_UNKNOWN or VT_DISPATCH).  Any other type, a null pointer or
// E_NOINTERFACE leaves `camera` empty; another failure raises.
void AssignCamera(InterfaceRef<CameraItem>& camera, const VARIANT& item);

// The camera's strings, taken over without a copy (a null string gives a handle with a
// null string).  E_OUTOFMEMORY if the handle cannot be made; the string is freed then.
WideStringHandle GetDrivePath(const InterfaceRef<CameraItem>& camera);
WideStringHandle GetModelName(const InterfaceRef<CameraItem>& camera);

}  // namespace camera
