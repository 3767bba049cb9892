#include "simcamera/SimObjects.h"

namespace sim {

using cameraserver::MakeEmpty;

namespace {

// What a VT_BYREF|VT_DISPATCH item refers to: an object pointer that is null, so the item
// owns nothing and stays valid for as long as the module is loaded.
IDispatch* g_referencedNothing = nullptr;

// A VT_I4 value that, read as a pointer, points nowhere a process maps.
constexpr LONG kNumberItem = 0x0BADF00D;

// Fills `item` with what the camera at `position` hands out as `kind`; returns the log
// words ("VT_DISPATCH:Camera#5", "VT_EMPTY", "untouched").
std::string MakeItem(const std::shared_ptr<FaultySource>& scenario, std::size_t position, ItemKind kind,
                     VARIANT* item) {
    if (kind == ItemKind::Untouched) {
        return "untouched";
    }
    MakeEmpty(item);
    const CameraEntry& entry = scenario->Camera(position);
    switch (kind) {
    case ItemKind::Text:
        item->vt = VT_BSTR;
        item->bstrVal = SysAllocStringLen(entry.model.units.c_str(), static_cast<UINT>(entry.model.units.size()));
        return "VT_BSTR:" + cameraserver::Quoted(entry.model);
    case ItemKind::Number:
        item->vt = VT_I4;
        item->lVal = kNumberItem;
        return "VT_I4:" + std::to_string(kNumberItem);
    case ItemKind::Reference:
        item->vt = static_cast<VARTYPE>(VT_BYREF | VT_DISPATCH);
        item->byref = &g_referencedNothing;
        return "VT_BYREF|VT_DISPATCH:null";
    case ItemKind::Camera:
    case ItemKind::NoCamera: {
        // One pointer serves VT_DISPATCH and VT_UNKNOWN alike: IDispatch begins with IUnknown.
        std::string name;
        if (kind == ItemKind::Camera) {
            auto* camera = new SimCamera(scenario, position);
            item->pdispVal = camera;
            name = camera->Name();
        } else {
            auto* other = new NotCamera(scenario, position);
            item->pdispVal = other;
            name = other->Name();
        }
        item->vt = entry.type;
        return (entry.type == VT_DISPATCH ? "VT_DISPATCH:" : "VT_UNKNOWN:") + name;
    }
    case ItemKind::Empty:
    case ItemKind::Untouched:
        break;
    }
    return "VT_EMPTY";
}

}  // namespace

cameraserver::Manager* SimFactory::NewManager(HRESULT& status) {
    std::shared_ptr<FaultySource> scenario = FaultySource::Load(status);
    if (scenario == nullptr) {
        return nullptr;
    }
    const Fault fault = scenario->Decide("CreateInstance");
    if (fault.fails || fault.handsOutNull) {
        status = fault.status;
        return nullptr;
    }
    return new SimManager(scenario);
}

HRESULT SimManager::GetCameraCollection(CameraCollection** collection) {
    return cameraserver::Guarded([&] {
        if (collection == nullptr) {
            return E_POINTER;
        }
        *collection = nullptr;
        const Fault fault = scenario_->Decide("GetCameraCollection");
        if (fault.fails) {
            return Fail("GetCameraCollection", fault, cameraserver::kManagerId);
        }
        if (fault.handsOutNull) {
            LogCall("GetCameraCollection", fault.status, "collection=null");
            return fault.status;
        }
        return HandOutCollection(collection, fault.status);
    });
}

cameraserver::Collection* SimManager::NewCollection() {
    return new SimCollection(scenario_);
}

HRESULT SimManager::Start() {
    return scenario_->Decide("Run").status;
}

HRESULT SimCollection::GetCameraCount(LONG* count) {
    return cameraserver::Guarded([&] {
        if (count == nullptr) {
            return E_POINTER;
        }
        const Fault fault = scenario_->Decide("GetCameraCount");
        if (fault.fails) {
            return Fail("GetCameraCount", fault, cameraserver::kCollectionId);
        }
        return ReportCount(count, scenario_->ReportedCount(), fault.status);
    });
}

HRESULT SimCollection::GetCameraAt(VARIANT index, VARIANT* camera) {
    return cameraserver::Guarded([&] {
        if (camera == nullptr) {
            return E_POINTER;
        }
        const Fault fault = scenario_->Decide("GetCameraAt");
        if (fault.fails) {
            MakeEmpty(camera);
            return Fail("GetCameraAt", fault, cameraserver::kCollectionId, cameraserver::IndexWords(index));
        }
        handOutNothing_ = fault.handsOutNull;
        return HandOutCameraAt(index, camera, fault.status);
    });
}

HRESULT SimCollection::Select(LONG index, VARIANT* item, std::string& handedOut) {
    // A list that changed between the count and the selection: the camera at another place.
    const long long shifted = static_cast<long long>(index) + scenario_->AtOffset();
    if (shifted < 0 || static_cast<std::size_t>(shifted) >= scenario_->Count()) {
        return DISP_E_BADINDEX;
    }
    const auto position = static_cast<std::size_t>(shifted);
    if (handOutNothing_) {
        MakeEmpty(item);
        handedOut = "VT_EMPTY";
        return S_OK;
    }
    handedOut = MakeItem(scenario_, position, scenario_->Camera(position).selected, item);
    return S_OK;
}

HRESULT SimCollection::GetCameraEnumerator(IUnknown** enumerator) {
    return cameraserver::Guarded([&] {
        if (enumerator == nullptr) {
            return E_POINTER;
        }
        *enumerator = nullptr;
        const Fault fault = scenario_->Decide("GetCameraEnumerator");
        if (fault.fails) {
            return Fail("GetCameraEnumerator", fault, cameraserver::kCollectionId);
        }
        if (fault.handsOutNull) {
            LogCall("GetCameraEnumerator", fault.status, "enumerator=null");
            return fault.status;
        }
        return HandOutEnumerator(enumerator, fault.status);
    });
}

cameraserver::Enumerator* SimCollection::NewEnumerator() {
    return new SimEnumerator(scenario_);
}

std::string SimEnumerator::NextItem(std::size_t position, VARIANT* item) {
    return MakeItem(scenario_, position, scenario_->Camera(position).enumerated, item);
}

void SimEnumerator::PastTheEnd(VARIANT* item) {
    if (!scenario_->PastEndUntouched()) {
        MakeEmpty(item);
    }
}

HRESULT SimCamera::GetDrivePath(BSTR* path) {
    return cameraserver::Guarded([&] { return Faulted("GetDrivePath", path); });
}

HRESULT SimCamera::GetModelName(BSTR* name) {
    return cameraserver::Guarded([&] { return Faulted("GetModelName", name); });
}

HRESULT SimCamera::Faulted(const std::string& operation, BSTR* out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    const Fault fault = scenario_->Decide(operation);
    if (fault.fails) {
        return Fail(operation, fault, cameraserver::kItemId);
    }
    if (fault.handsOutNull) {
        LogCall(operation, fault.status, operation == "GetModelName" ? "name=null" : "path=null");
        return fault.status;
    }
    return HandOut(operation, out, fault.status);
}

NotCamera::NotCamera(std::shared_ptr<cameraserver::Source> source, std::size_t position)
    : DispatchObject<IDispatch>("Item", std::move(source), "position=" + std::to_string(position)) {}

void* NotCamera::Find(REFIID iid) {
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IDispatch)) {
        return static_cast<IDispatch*>(this);
    }
    return nullptr;
}

}  // namespace sim
