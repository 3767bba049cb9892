// The program carries exactly what the resource compiler made of the resource script:
// every resource of its .res file, found by type, name and language, byte for byte.
#include "CatalogueLanguages.h"
#include "support/ResFile.h"
#include "support/ResourceReading.h"

#include <gtest/gtest.h>

#include <iterator>

namespace {

TEST(CompiledResourcesTest, ProgramCarriesEveryCompiledResourceByteForByte) {
    const std::string path = FWUPGRADE_RES_FILE;
    if (path.empty()) {
        GTEST_SKIP() << "no resource compiler (windres) was found when the build was configured, so there is "
                        "no .res file to compare with";
    }
    std::string error;
    const std::vector<CompiledResource> compiled = ReadResFile(path, error);
    ASSERT_TRUE(error.empty()) << error;
    // A string table per catalogue language, four data resources, the icon group and its
    // three images.
    ASSERT_EQ(compiled.size(), std::size(kCatalogueLanguages) + 8u);
    for (const CompiledResource& resource : compiled) {
        SCOPED_TRACE("type " + std::to_string(resource.type) + ", name " + std::to_string(resource.name) +
                     ", language " + std::to_string(resource.language));
        const auto carried = ResourceBytes(resource.type, resource.name, resource.language);
        ASSERT_TRUE(carried) << "absent";
        EXPECT_EQ(carried->size(), resource.data.size());
        EXPECT_TRUE(*carried == resource.data) << "different bytes";
    }
}

}  // namespace
