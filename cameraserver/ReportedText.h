// A text a component reports, a model name or a drive path: UTF-16 code units as the
// system's BSTRs hold them, or absent (handed out as a null BSTR).
#pragma once

#include "platform/Platform.h"

#include <string>

namespace cameraserver {

using Units = std::basic_string<OLECHAR>;

struct ReportedText {
    bool absent = false;
    Units units;
};

}  // namespace cameraserver
