// The embedded resource directory of a POSIX program is what the Windows resource
// compiler makes of the same script: the same resources, string tables included, in the
// same bytes, and nothing else.
#include "CatalogueLanguages.h"
#include "support/ResFile.h"

#include "platform/posix/ResourceDirectory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <tuple>

namespace {

TEST(EmbeddedDirectoryTest, DirectoryIsTheResourceCompilersOutput) {
    const std::string path = FWUPGRADE_RES_FILE;
    if (path.empty()) {
        GTEST_SKIP() << "no resource compiler (windres) was found when the build was configured, so there is "
                        "no .res file to compare with";
    }
    std::string error;
    const std::vector<CompiledResource> compiled = ReadResFile(path, error);
    ASSERT_TRUE(error.empty()) << error;
    const platform::posix::EmbeddedResourceDirectory& directory = fwupgrade_embedded_resources;
    ASSERT_EQ(directory.count, compiled.size());

    std::size_t stringTables = 0;
    for (std::size_t i = 0; i < directory.count; ++i) {
        const platform::posix::EmbeddedResource& entry = directory.entries[i];
        SCOPED_TRACE("type " + std::to_string(entry.type) + ", name " + std::to_string(entry.name) + ", language " +
                     std::to_string(entry.language));
        if (i > 0) {
            const auto& previous = directory.entries[i - 1];
            EXPECT_LT(std::make_tuple(previous.type, previous.name, previous.language),
                      std::make_tuple(entry.type, entry.name, entry.language))
                << "directory not sorted";
        }
        const CompiledResource* match = nullptr;
        for (const CompiledResource& resource : compiled) {
            if (resource.type == entry.type && resource.name == entry.name && resource.language == entry.language) {
                match = &resource;
            }
        }
        ASSERT_NE(match, nullptr) << "not in the .res file";
        ASSERT_EQ(entry.size, match->data.size());
        EXPECT_EQ(std::memcmp(entry.data, match->data.data(), entry.size), 0) << "different bytes";
        stringTables += entry.type == 6 ? 1 : 0;
    }
    EXPECT_EQ(stringTables, std::size(kCatalogueLanguages));
}

}  // namespace
