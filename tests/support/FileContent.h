// The whole of a file, read in one call by its size.  Not through std::istreambuf_iterator:
// GCC 12 at -O3 follows its end iterator's null stream buffer into the library's inline
// code and reports a null dereference there (-Werror=null-dereference).
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

// False when the file cannot be opened, sized or read whole.
inline bool ReadFileContent(const std::filesystem::path& path, std::string& content) {
    content.clear();
    std::ifstream file(path, std::ios::binary);
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (!file || error) {
        return false;
    }
    content.resize(static_cast<std::size_t>(size));
    file.read(&content[0], static_cast<std::streamsize>(size));
    return file.gcount() == static_cast<std::streamsize>(size);
}

// The file's content; empty when it cannot be read.
inline std::string FileContent(const std::filesystem::path& path) {
    std::string content;
    return ReadFileContent(path, content) ? content : std::string();
}
