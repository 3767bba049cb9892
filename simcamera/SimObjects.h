// The server's objects as the simulated camera hands them out: each asks the scenario
// (FaultySource) before its operations and fails them, hands out nothing, or hands out
// what is no camera, as the scenario says; otherwise the server's own work is done.
#pragma once

#include "simcamera/FaultySource.h"
#include "cameraserver/Camera.h"
#include "cameraserver/ClassFactory.h"
#include "cameraserver/Collection.h"
#include "cameraserver/Enumerator.h"
#include "cameraserver/ErrorObject.h"
#include "cameraserver/Manager.h"

#include <memory>
#include <string>

namespace sim {

// What every simulated object adds to its server object: ISupportErrorInfo only where the
// scenario offers it, a QueryInterface refused where a fault says so, and the failure of
// an operation as a fault asks.
template <class Base>
class Simulated : public Base {
public:
    template <class... Rest>
    explicit Simulated(const std::shared_ptr<FaultySource>& scenario, Rest... rest)
        : Base(scenario, rest...), scenario_(scenario) {}

protected:
    void* Find(REFIID iid) override {
        if (IsEqualGUID(iid, IID_ISupportErrorInfo) && !scenario_->SupportsErrorInfo()) {
            return nullptr;
        }
        return Base::Find(iid);
    }

    // An interface the object has may be refused ("QueryInterface.CameraManager").
    HRESULT Refusal(REFIID iid) override {
        if (Base::Find(iid) == nullptr) {
            return S_OK;
        }
        const Fault fault = scenario_->Decide("QueryInterface." + cameraserver::InterfaceName(iid));
        return fault.fails ? fault.status : S_OK;
    }

    // Ends `operation` of interface `iid` with the fault's failure, logged with `arguments`.
    HRESULT Fail(const std::string& operation, const Fault& fault, REFIID iid, const std::string& arguments = "") {
        this->LogCall(operation, fault.status,
                      cameraserver::ReportFailure(iid, operation, fault.status, fault.errorInfo), arguments);
        return fault.status;
    }

    const std::shared_ptr<FaultySource> scenario_;
};

class SimFactory final : public cameraserver::ClassFactory {
private:
    cameraserver::Manager* NewManager(HRESULT& status) override;
};

class SimManager final : public Simulated<cameraserver::Manager> {
public:
    using Simulated::Simulated;

    HRESULT STDMETHODCALLTYPE GetCameraCollection(CameraCollection** collection) override;

private:
    cameraserver::Collection* NewCollection() override;
    HRESULT Start() override;
};

class SimCollection final : public Simulated<cameraserver::Collection> {
public:
    using Simulated::Simulated;

    HRESULT STDMETHODCALLTYPE GetCameraCount(LONG* count) override;
    HRESULT STDMETHODCALLTYPE GetCameraAt(VARIANT index, VARIANT* camera) override;
    HRESULT STDMETHODCALLTYPE GetCameraEnumerator(IUnknown** enumerator) override;

private:
    HRESULT Select(LONG index, VARIANT* item, std::string& handedOut) override;
    cameraserver::Enumerator* NewEnumerator() override;

    bool handOutNothing_ = false;  // this GetCameraAt's fault: succeed with an empty VARIANT
};

class SimEnumerator final : public Simulated<cameraserver::Enumerator> {
public:
    using Simulated::Simulated;

private:
    std::string NextItem(std::size_t position, VARIANT* item) override;
    void PastTheEnd(VARIANT* item) override;
};

class SimCamera final : public Simulated<cameraserver::Camera> {
public:
    using Simulated::Simulated;

    HRESULT STDMETHODCALLTYPE GetDrivePath(BSTR* path) override;
    HRESULT STDMETHODCALLTYPE GetModelName(BSTR* name) override;

private:
    HRESULT Faulted(const std::string& operation, BSTR* out);
};

// A dispatch object that does not answer for the camera interface.
class NotCamera final : public cameraserver::DispatchObject<IDispatch> {
public:
    NotCamera(std::shared_ptr<cameraserver::Source> source, std::size_t position);

private:
    void* Find(REFIID iid) override;
};

}  // namespace sim
