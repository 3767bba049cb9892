// VARIANT copy and clear at the camera boundary: a failure raises _com_error with its status.
#pragma once

#include "platform/Platform.h"

namespace camera {

void CopyVariant(VARIANT* dest, const VARIANT* src);
void ClearVariant(VARIANT* v);

}  // namespace camera
