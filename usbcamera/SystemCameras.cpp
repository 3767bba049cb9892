#include "SystemCameras.h"

#include "CardMount.h"
#include "SysfsFile.h"
#include "UsbModels.h"
#include "cameraserver/ServerLog.h"
#include "cameraserver/Utf8.h"

namespace usbcamera {

namespace {

// ERROR_DEVICE_NOT_CONNECTED as a status.
const HRESULT kDeviceGone = static_cast<HRESULT>(0x8007048Fu);
// How long a present card may take to be mounted by the desktop.
constexpr int kMountWaitMs = 5000;

cameraserver::ReportedText FromUtf8(const std::string& bytes) {
    cameraserver::ReportedText text;
    cameraserver::AppendUtf8(bytes, text.units);
    return text;
}

}  // namespace

std::shared_ptr<SystemCameras> SystemCameras::Open(const std::string& modelTable) {
    const UsbModels models = UsbModels::Load(modelTable);
    std::vector<UsbDisk> disks = FindUsbDisks();
    cameraserver::Listing listing;
    cameraserver::Log("load models=" + modelTable + " cameras=" + std::to_string(disks.size()));
    for (const UsbDisk& disk : disks) {
        std::string model = models.Find(disk.vendorId, disk.productId);
        if (model.empty()) {
            model = disk.product;
        }
        std::string volumes;
        for (const Volume& volume : disk.volumes) {
            volumes += (volumes.empty() ? "" : ",") + volume.name;
        }
        cameraserver::Log("camera position=" + std::to_string(listing.cameras.size()) + " usb=" + disk.vendorId + ":" +
                          disk.productId + " model=\"" + model + "\" volumes=" + volumes);
        cameraserver::CameraEntry entry;
        entry.model = FromUtf8(model);
        listing.cameras.push_back(entry);
    }
    return std::shared_ptr<SystemCameras>(new SystemCameras(std::move(listing), std::move(disks)));
}

SystemCameras::SystemCameras(cameraserver::Listing listing, std::vector<UsbDisk> disks)
    : Source(std::move(listing)), disks_(std::move(disks)) {}

cameraserver::Outcome SystemCameras::Decide(const std::string& /*operation*/) {
    return cameraserver::Outcome();
}

bool SystemCameras::Connected(std::size_t position) const {
    // The same device still at the same place: another one plugged into the same port
    // has a folder of the same name but other ids.
    const UsbDisk& disk = disks_[position];
    return ReadAttribute(disk.device + "/idVendor") == disk.vendorId &&
           ReadAttribute(disk.device + "/idProduct") == disk.productId &&
           ReadAttribute(disk.device + "/serial") == disk.serial;
}

cameraserver::Outcome SystemCameras::DecideForCamera(const std::string& /*operation*/, std::size_t position) {
    cameraserver::Outcome outcome;
    if (!Connected(position)) {
        outcome.fails = true;
        outcome.errorInfo = true;
        outcome.status = kDeviceGone;
    }
    return outcome;
}

cameraserver::ReportedText SystemCameras::DrivePath(std::size_t position) {
    return FromUtf8(CardDrivePath(disks_[position].volumes, kMountWaitMs));
}

}  // namespace usbcamera
