// The scenario's cameras as a plain source: each one's model name and drive path as
// written, all of them connected for as long as the manager lives.
#pragma once

#include "simcamera/Scenario.h"
#include "cameraserver/Source.h"

#include <vector>

namespace sim {

class ListedCameras final : public cameraserver::Source {
public:
    explicit ListedCameras(std::vector<CameraEntry> cameras) : cameras_(std::move(cameras)) {}

    std::size_t Count() override { return cameras_.size(); }
    ReportedText ModelName(std::size_t position) override { return cameras_[position].model; }
    ReportedText DrivePath(std::size_t position) override { return cameras_[position].drive; }
    bool Present(std::size_t /*position*/) override { return true; }

    const CameraEntry& At(std::size_t position) const { return cameras_[position]; }

private:
    const std::vector<CameraEntry> cameras_;
};

}  // namespace sim
