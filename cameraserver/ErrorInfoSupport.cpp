#include "cameraserver/ErrorInfoSupport.h"

#include "cameraserver/ServerLog.h"

namespace cameraserver {

HRESULT ErrorInfoSupport::InterfaceSupportsErrorInfo(REFIID iid) {
    const HRESULT answer = IsEqualGUID(iid, supported_) ? S_OK : S_FALSE;
    Log("call " + ownerName_ + " InterfaceSupportsErrorInfo " + InterfaceName(iid) + " -> " + StatusText(answer));
    return answer;
}

}  // namespace cameraserver
