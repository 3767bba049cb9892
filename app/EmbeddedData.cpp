#include "app/EmbeddedData.h"

#include <cstring>

EmbeddedBytes LocateEmbeddedData(HMODULE module, int id) {
    EmbeddedBytes bytes;
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(id), RT_RCDATA);
    HGLOBAL loaded = LoadResource(module, resource);
    bytes.data = static_cast<const BYTE*>(LockResource(loaded));
    bytes.size = bytes.data != nullptr ? SizeofResource(module, resource) : 0;
    return bytes;
}

TextString LoadEmbeddedText(HMODULE module, int id) {
    const EmbeddedBytes bytes = LocateEmbeddedData(module, id);
    TextString text;
    const int size = static_cast<int>(bytes.size);
    char* buffer = text.GetWriteBuffer(size);
    if (size > 0) {
        std::memcpy(buffer, bytes.data, bytes.size);
    }
    text.ReleaseWriteBuffer(size);
    return text;
}
