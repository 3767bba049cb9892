#include "Source.h"

namespace cameraserver {

LONG Source::ReportedCount() const {
    return listing_.countGiven ? listing_.count : static_cast<LONG>(listing_.cameras.size());
}

Outcome Source::DecideForCamera(const std::string& operation, std::size_t /*position*/) {
    return Decide(operation);
}

ReportedText Source::DrivePath(std::size_t position) {
    return listing_.cameras[position].drive;
}

}  // namespace cameraserver
