// The component's entry object, the one the class factory creates.  It can be started
// (IRunnableObject, which OleRun uses) and hands out the camera collection.
#pragma once

#include "cameraserver/ErrorInfoSupport.h"
#include "cameraserver/ServerInterfaces.h"
#include "cameraserver/ServerObject.h"

namespace cameraserver {

class Collection;

class Manager : public DispatchObject<CameraManager> {
public:
    explicit Manager(std::shared_ptr<Source> source);

    HRESULT STDMETHODCALLTYPE GetCameraCollection(CameraCollection** collection) override;

protected:
    // Hands out a new collection and reports `status`, a success.
    HRESULT HandOutCollection(CameraCollection** collection, HRESULT status);
    virtual Collection* NewCollection();
    // What starting the component (OleRun) gives; the server's own has nothing to start.
    virtual HRESULT Start();

    void* Find(REFIID iid) override;

private:
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"  // a part, never deleted on its own
    class Runnable final : public IRunnableObject {
    public:
        explicit Runnable(Manager& owner) : owner_(owner) {}
        Runnable(const Runnable&) = delete;
        Runnable& operator=(const Runnable&) = delete;

        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
            return owner_.QueryInterface(iid, object);
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return owner_.AddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return owner_.Release(); }
        HRESULT STDMETHODCALLTYPE GetRunningClass(CLSID* clsid) override;
        HRESULT STDMETHODCALLTYPE Run(IBindCtx* context) override;
        BOOL STDMETHODCALLTYPE IsRunning() override;
        HRESULT STDMETHODCALLTYPE LockRunning(BOOL lock, BOOL lastUnlockCloses) override;
        HRESULT STDMETHODCALLTYPE SetContainedObject(BOOL contained) override;

    private:
        Manager& owner_;
        bool running_ = false;
    };
#pragma GCC diagnostic pop

    Runnable runnable_;
    ErrorInfoSupport support_;
};

}  // namespace cameraserver
