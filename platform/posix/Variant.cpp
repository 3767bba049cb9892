// VARIANT initialization, clearing and copying for the value types this system and its
// tools exchange: the scalars, BSTR, and interface pointers.  Other types (arrays,
// records, decimals, VT_VARIANT) are refused with DISP_E_BADVARTYPE, as Windows refuses
// a type it does not know.
#include "platform/Platform.h"

namespace {

bool IsSupportedType(VARTYPE vt) {
    const bool byRef = (vt & VT_BYREF) != 0;
    switch (static_cast<VARTYPE>(vt & ~VT_BYREF)) {
    case VT_EMPTY:
    case VT_NULL:
        return !byRef;  // there is nothing to refer to
    case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_INT:
    case VT_UI1: case VT_UI2: case VT_UI4: case VT_UI8: case VT_UINT:
    case VT_R4: case VT_R8: case VT_CY: case VT_DATE:
    case VT_BOOL: case VT_ERROR:
    case VT_BSTR: case VT_UNKNOWN: case VT_DISPATCH:
        return true;
    default:
        return false;
    }
}

}  // namespace

void VariantInit(VARIANTARG* v) {
    // Like Windows, only the type: the value of an empty VARIANT is never read.
    v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* v) {
    if (v == nullptr) {
        return E_INVALIDARG;
    }
    if (!IsSupportedType(v->vt)) {
        return DISP_E_BADVARTYPE;
    }
    switch (v->vt) {
    case VT_BSTR:
        SysFreeString(v->bstrVal);
        break;
    case VT_UNKNOWN:
    case VT_DISPATCH:
        if (v->punkVal != nullptr) {
            v->punkVal->Release();
        }
        break;
    default:
        break;  // scalars and references own nothing
    }
    // The value field is left as it was, as on Windows: a stale pointer read after a
    // clear then shows up under the sanitizers instead of reading as null.
    v->vt = VT_EMPTY;
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* src) {
    if (dest == nullptr || src == nullptr) {
        return E_INVALIDARG;
    }
    if (!IsSupportedType(src->vt)) {
        return DISP_E_BADVARTYPE;
    }
    if (dest == src) {
        return S_OK;
    }
    const HRESULT cleared = VariantClear(dest);
    if (FAILED(cleared)) {
        return cleared;
    }
    switch (src->vt) {
    case VT_BSTR:
        if (src->bstrVal != nullptr) {
            // By bytes, so that a string of odd byte length keeps it.
            BSTR copy = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(src->bstrVal), SysStringByteLen(src->bstrVal));
            if (copy == nullptr) {
                return E_OUTOFMEMORY;  // dest stays empty
            }
            *dest = *src;
            dest->bstrVal = copy;
            return S_OK;
        }
        break;
    case VT_UNKNOWN:
    case VT_DISPATCH:
        if (src->punkVal != nullptr) {
            src->punkVal->AddRef();
        }
        break;
    default:
        break;
    }
    *dest = *src;
    return S_OK;
}
