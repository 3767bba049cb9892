// Reads a .res file, the resource compiler's output before linking: a row of records,
// each a header (data size, header size, type, name, language, ...) and the data,
// padded to four bytes.  Only numeric types and names are kept; the empty record that
// opens the file is skipped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct CompiledResource {
    std::uint16_t type;
    std::uint16_t name;
    std::uint16_t language;
    std::vector<unsigned char> data;
};

// The resources of the file at `path`; `error` says why when the file cannot be read.
std::vector<CompiledResource> ReadResFile(const std::string& path, std::string& error);
