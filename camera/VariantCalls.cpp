#include "camera/VariantCalls.h"

#include "camera/ComError.h"

namespace camera {

void CopyVariant(VARIANT* dest, const VARIANT* src) {
    const HRESULT status = platform::sys.VariantCopy(dest, src);
    if (FAILED(status)) {
        ThrowComError(status);
    }
}

void ClearVariant(VARIANT* v) {
    const HRESULT status = platform::sys.VariantClear(v);
    if (FAILED(status)) {
        ThrowComError(status);
    }
}

}  // namespace camera
