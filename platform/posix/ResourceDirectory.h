// The resource directory embedded in a POSIX program.
//
// The build writes its definition (tools/build/resgen) from the same resource script that the
// Windows build compiles, with every resource's bytes as the resource compiler lays them
// out, string tables included; Resources.cpp answers FindResourceExA and the other
// resource calls from it.
#pragma once

#include "platform/posix/Win32Api.h"

#include <cstddef>

namespace platform::posix {

// Only numeric types and names: the utility's scripts use no others.
struct EmbeddedResource {
    WORD type;
    WORD name;
    WORD language;
    const void* data;
    DWORD size;
};

// Entries sorted by type, name and language, as in a Windows resource section.
struct EmbeddedResourceDirectory {
    const EmbeddedResource* entries;
    std::size_t count;
};

}  // namespace platform::posix

// Defined by the generated source of a program built with resources.
extern "C" const platform::posix::EmbeddedResourceDirectory fwupgrade_embedded_resources;
