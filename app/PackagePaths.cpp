#include "app/PackagePaths.h"

#include "app/NarrowPath.h"
#include "com/WideStringHandle.h"

namespace {

constexpr char kPackageFolder[] = "Current\\Firmware\\";
constexpr char kStagingSuffix[] = "~";

}  // namespace

PackagePaths::PackagePaths(const char* packageName) {
    WideStringHandle path(kPackageFolder);
    folder_ = NarrowPath(path);
    path += packageName;
    package_ = NarrowPath(path);
    path += kStagingSuffix;
    staging_ = NarrowPath(path);
}
