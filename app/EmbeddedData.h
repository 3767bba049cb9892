// The program's own data resources: model display name, package file name, version label
// and the upgrade payload.  The texts carry no terminating zero byte; each is taken as text
// of exactly the resource's size.
#pragma once

#include "platform/Platform.h"
#include "resources/ResourceIds.h"
#include "text/TextString.h"

enum EmbeddedDataId : int {
    kModelNameData = IDR_MODEL_NAME,
    kPackageFileNameData = IDR_PACKAGE_FILE_NAME,
    kPayloadData = IDR_PAYLOAD,
    kVersionLabelData = IDR_VERSION_LABEL,
};

// Bytes of one RCDATA resource, used in place from the loaded image; null and 0 when the
// resource is missing.
struct EmbeddedBytes {
    const BYTE* data = nullptr;
    DWORD size = 0;
};

EmbeddedBytes LocateEmbeddedData(HMODULE module, int id);

// The resource as narrow text of exactly its size.
TextString LoadEmbeddedText(HMODULE module, int id);
