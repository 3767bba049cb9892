// GUID comparison and the identities of the system interfaces, with the values Windows
// gives them, so that a component built for either system answers the same questions.
#include "platform/Platform.h"

#include <cstring>

bool IsEqualGUID(REFGUID a, REFGUID b) {
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
           std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}

namespace {
constexpr GUID OleGuid(std::uint32_t data1) { return {data1, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}}; }
}  // namespace

const IID IID_IUnknown = OleGuid(0x00000000);
const IID IID_IClassFactory = OleGuid(0x00000001);
const IID IID_IRunnableObject = OleGuid(0x00000126);
const IID IID_IDispatch = OleGuid(0x00020400);
const IID IID_IEnumVARIANT = OleGuid(0x00020404);
const IID IID_ISupportErrorInfo = {0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
const IID IID_IErrorInfo = {0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
const IID IID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
