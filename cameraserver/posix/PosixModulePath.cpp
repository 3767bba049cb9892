// Where the plugin was loaded from, for the files the component keeps beside it.
#include <dlfcn.h>

#include "cameraserver/ModulePath.h"

namespace cameraserver {

namespace {
const char anchor = 0;  // any address inside the plugin
}  // namespace

std::string ModulePath() {
    Dl_info info{};
    if (dladdr(&anchor, &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    return info.dli_fname;
}

std::string ModuleDirectory() {
    const std::string path = ModulePath();
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

}  // namespace cameraserver
