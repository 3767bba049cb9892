// Every catalogue text is writable in its language's ANSI code page, checked with the
// system's own conversion tables: the utility converts each text to that code page
// before it shows it, and a character without a form there would become "?".
#include "ResourceReading.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(CodePagesTest, EveryTextConvertsToItsLanguagesCodePageWithoutLoss) {
    const struct {
        LANGID language;
        UINT codePage;
    } kLanguages[] = {
        {0x0407, 1252}, {0x0409, 1252}, {0x040A, 1252}, {0x040C, 1252},
        {0x0410, 1252}, {0x0411, 932},  {0x0416, 1252},
    };
    for (const auto& row : kLanguages) {
        for (int id = 130; id <= 139; ++id) {
            SCOPED_TRACE("language " + std::to_string(row.language) + ", id " + std::to_string(id));
            const auto text = StringTableEntry(row.language, id);
            ASSERT_TRUE(text && !text->empty());
            const int length = static_cast<int>(text->size());
            BOOL usedDefault = FALSE;
            std::string narrow(static_cast<std::size_t>(2 * length), '\0');
            const int bytes = WideCharToMultiByte(row.codePage, WC_NO_BEST_FIT_CHARS, text->data(), length,
                                                  &narrow[0], 2 * length, nullptr, &usedDefault);
            EXPECT_GT(bytes, 0);
            EXPECT_FALSE(usedDefault);
        }
    }
}

}  // namespace
