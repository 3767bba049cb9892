#include "ErrorInfoSupport.h"

#include "SimLog.h"

namespace sim {

HRESULT ErrorInfoSupport::InterfaceSupportsErrorInfo(REFIID iid) {
    const HRESULT answer = IsEqualGUID(iid, supported_) ? S_OK : S_FALSE;
    Log("call " + ownerName_ + " InterfaceSupportsErrorInfo " + InterfaceName(iid) + " -> " + StatusText(answer));
    return answer;
}

}  // namespace sim
