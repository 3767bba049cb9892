// The owning reference to one COM interface.
//
//   InterfaceRef<CameraItem> camera;
//   camera = item.punkVal;               // asks the object for CameraItem
//   camera->GetModelName(&name);         // raises _com_error(E_POINTER) while empty
//
// Empty, or one pointer that holds one reference, released when the reference goes out
// of scope or is reset; Detach gives the reference to a caller who takes it over.  Assigning an object asks it by QueryInterface for I; a null object leaves the
// reference empty without asking, a refusal (E_NOINTERFACE) leaves it empty, and any other
// failure leaves it empty and raises _com_error with that status.  Whatever the reference
// held before an assignment is released.
#pragma once

#include "platform/Platform.h"

#include "com/ComError.h"

// The identity that InterfaceRef<I> asks for; specialized for every interface used.
template <class I>
struct InterfaceIdentity;

template <>
struct InterfaceIdentity<IUnknown> {
    static const IID& Get() noexcept { return IID_IUnknown; }
};
template <>
struct InterfaceIdentity<IDispatch> {
    static const IID& Get() noexcept { return IID_IDispatch; }
};
template <>
struct InterfaceIdentity<IEnumVARIANT> {
    static const IID& Get() noexcept { return IID_IEnumVARIANT; }
};
template <>
struct InterfaceIdentity<ISupportErrorInfo> {
    static const IID& Get() noexcept { return IID_ISupportErrorInfo; }
};

template <class I>
class InterfaceRef {
public:
    InterfaceRef() noexcept = default;
    InterfaceRef(const InterfaceRef&) = delete;
    InterfaceRef& operator=(const InterfaceRef&) = delete;
    ~InterfaceRef() { Reset(); }

    // Asks `object` for I (see above); raises _com_error unless the failure is E_NOINTERFACE.
    InterfaceRef& operator=(IUnknown* object) {
        const HRESULT status = Query(object);
        if (FAILED(status) && status != E_NOINTERFACE) {
            ThrowComError(status);
        }
        return *this;
    }

    // The same without raising: returns QueryInterface's status, S_OK for a null object.
    HRESULT Query(IUnknown* object) noexcept {
        I* obtained = nullptr;
        HRESULT status = S_OK;
        if (object != nullptr) {
            status = object->QueryInterface(InterfaceIdentity<I>::Get(), reinterpret_cast<void**>(&obtained));
            if (FAILED(status)) {
                obtained = nullptr;  // a refusing object's out value is not to be trusted
            }
        }
        // Asked before the old value goes, so that assigning the held object works.
        Reset();
        pointer_ = obtained;
        return status;
    }

    // Calls through the reference; raises _com_error(E_POINTER) while it is empty.
    I* operator->() const {
        if (pointer_ == nullptr) {
            ThrowComError(E_POINTER);
        }
        return pointer_;
    }

    // The pointer without a new reference; null while empty.
    I* Get() const noexcept { return pointer_; }
    bool IsEmpty() const noexcept { return pointer_ == nullptr; }

    // For an operation that hands out an I: releases the old value first.
    I** Put() noexcept {
        Reset();
        return &pointer_;
    }

    // Releases the reference; empty afterwards.
    void Reset() noexcept {
        if (pointer_ != nullptr) {
            I* released = pointer_;
            pointer_ = nullptr;
            released->Release();
        }
    }

    // Hands the reference to the caller, who releases it; empty afterwards.
    I* Detach() noexcept {
        I* detached = pointer_;
        pointer_ = nullptr;
        return detached;
    }

private:
    I* pointer_ = nullptr;
};

static_assert(sizeof(InterfaceRef<IUnknown>) == sizeof(IUnknown*), "an InterfaceRef is one pointer");
