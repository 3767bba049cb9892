// The data resources and the icon, read back from the program the way the utility and
// the desktop shell read them.
#include "support/ResourceReading.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr WORD kEnglish = 0x0409;

// Found without naming a language, as the utility looks them up.
std::string DataText(WORD id) {
    const HMODULE module = ProgramModule();
    const HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(id), RT_RCDATA);
    if (resource == nullptr) {
        return "(absent)";
    }
    const auto* data = static_cast<const char*>(LockResource(LoadResource(module, resource)));
    return data == nullptr ? "(not loaded)" : std::string(data, SizeofResource(module, resource));
}

TEST(EmbeddedDataTest, TextResourcesAreExactlyTheirTextsWithNoTerminator) {
    const struct {
        WORD id;
        const char* text;
    } kTexts[] = {
        {118, FWUPGRADE_MODEL_NAME},
        {120, FWUPGRADE_PACKAGE_FILE_NAME},
        {128, FWUPGRADE_VERSION_LABEL},
    };
    for (const auto& row : kTexts) {
        SCOPED_TRACE(row.id);
        EXPECT_EQ(DataText(row.id), row.text);
        const auto english = ResourceBytes(10, row.id, kEnglish);
        ASSERT_TRUE(english) << "not in English (United States)";
        EXPECT_EQ(english->size(), std::strlen(row.text));
    }
}

TEST(EmbeddedDataTest, PayloadHasItsSizeAndSignature) {
    const auto payload = ResourceBytes(10, 121, kEnglish);
    ASSERT_TRUE(payload);
    EXPECT_EQ(payload->size(), static_cast<std::size_t>(FWUPGRADE_PAYLOAD_BYTES));
    EXPECT_EQ(DataText(121).substr(0, 10), "SOLEAN F/W");
}

// The group lists each image's size, colours and id; each image is a bitmap of its
// size: height doubled for the transparency mask, 8 bits per pixel.
TEST(EmbeddedDataTest, IconGroupHoldsThreeImagesOf256Colours) {
    const auto group = ResourceBytes(14, 130, kEnglish);
    ASSERT_TRUE(group);
    ASSERT_EQ(group->size(), 6u + 3u * 14u);
    const auto word = [](const std::vector<unsigned char>& bytes, std::size_t at) {
        return static_cast<unsigned>(bytes[at] | (bytes[at + 1] << 8));
    };
    EXPECT_EQ(word(*group, 0), 0u);
    EXPECT_EQ(word(*group, 2), 1u);
    ASSERT_EQ(word(*group, 4), 3u);
    const unsigned kSizes[] = {16, 32, 48};
    for (unsigned i = 0; i < 3; ++i) {
        SCOPED_TRACE(kSizes[i]);
        const std::size_t entry = 6 + 14 * i;
        EXPECT_EQ((*group)[entry], kSizes[i]);
        EXPECT_EQ((*group)[entry + 1], kSizes[i]);
        EXPECT_EQ(word(*group, entry + 4), 1u);  // planes
        EXPECT_EQ(word(*group, entry + 6), 8u);  // bits per pixel
        const unsigned id = word(*group, entry + 12);
        EXPECT_EQ(id, i + 1);
        const auto image = ResourceBytes(3, static_cast<WORD>(id), kEnglish);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->size(), word(*group, entry + 8) | (word(*group, entry + 10) << 16));
        ASSERT_GE(image->size(), 40u + 256u * 4u);
        EXPECT_EQ(word(*image, 4), kSizes[i]);       // width
        EXPECT_EQ(word(*image, 8), 2 * kSizes[i]);   // height of colour and mask
        EXPECT_EQ(word(*image, 14), 8u);             // bits per pixel
    }
}

}  // namespace
