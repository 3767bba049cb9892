#include "usbcamera/linux/SysfsCameras.h"

#include "usbcamera/linux/CardMount.h"
#include "usbcamera/linux/SysfsFile.h"
#include "usbcamera/SystemCameras.h"
#include "usbcamera/UsbModels.h"
#include "cameraserver/ServerLog.h"
#include "cameraserver/Utf8.h"

namespace usbcamera {

namespace {

// How long a present card may take to be mounted by the desktop.
constexpr int kMountWaitMs = 5000;

cameraserver::ReportedText FromUtf8(const std::string& bytes) {
    cameraserver::ReportedText text;
    cameraserver::AppendUtf8(bytes, text.units);
    return text;
}

// A mount point is a file name: its bytes reach the program as they are, UTF-8 or not.
cameraserver::ReportedText FromFileName(const std::string& bytes) {
    cameraserver::ReportedText text;
    cameraserver::AppendFileName(bytes, text.units);
    return text;
}

}  // namespace

std::shared_ptr<SysfsCameras> SysfsCameras::Open(const std::string& modelTable) {
    std::string problem;
    const UsbModels table = UsbModels::Load(modelTable, problem);
    if (!problem.empty()) {
        cameraserver::Log("models " + modelTable + " ignored: " + problem);
    }
    std::vector<UsbDisk> disks = FindUsbDisks();
    std::vector<std::string> models;
    cameraserver::Log("load models=" + modelTable + " cameras=" + std::to_string(disks.size()));
    for (const UsbDisk& disk : disks) {
        std::string model = table.Find(disk.vendorId, disk.productId);
        if (model.empty()) {
            model = disk.product;
        }
        std::string volumes;
        for (const Volume& volume : disk.volumes) {
            volumes += (volumes.empty() ? "" : ",") + volume.name;
        }
        cameraserver::Log("camera position=" + std::to_string(models.size()) + " usb=" + disk.vendorId + ":" +
                          disk.productId + " model=\"" + model + "\" volumes=" + volumes);
        models.push_back(std::move(model));
    }
    return std::shared_ptr<SysfsCameras>(new SysfsCameras(std::move(models), std::move(disks)));
}

SysfsCameras::SysfsCameras(std::vector<std::string> models, std::vector<UsbDisk> disks)
    : models_(std::move(models)), disks_(std::move(disks)) {}

std::size_t SysfsCameras::Count() {
    return disks_.size();
}

cameraserver::ReportedText SysfsCameras::ModelName(std::size_t position) {
    return FromUtf8(models_[position]);
}

bool SysfsCameras::Present(std::size_t position) {
    const UsbDisk& disk = disks_[position];
    return ReadAttribute(disk.device + "/idVendor") == disk.vendorId &&
           ReadAttribute(disk.device + "/idProduct") == disk.productId &&
           ReadAttribute(disk.device + "/serial") == disk.serial;
}

cameraserver::ReportedText SysfsCameras::DrivePath(std::size_t position) {
    return FromFileName(CardDrivePath(disks_[position].volumes, kMountWaitMs));
}

std::shared_ptr<cameraserver::Source> OpenSystemCameras(const std::string& modelTable) {
    return SysfsCameras::Open(modelTable);
}

}  // namespace usbcamera
