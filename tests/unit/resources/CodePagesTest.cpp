// Every catalogue text is writable in its language's ANSI code page, checked with the
// system's own conversion tables: the utility converts each text to that code page
// before it shows it, and a character without a form there would become "?".  The
// system names each language's code page.
#include "CatalogueLanguages.h"
#include "support/ResourceReading.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(CodePagesTest, EveryTextConvertsToItsLanguagesCodePageWithoutLoss) {
    for (const LANGID language : kCatalogueLanguages) {
        SCOPED_TRACE("language " + std::to_string(language));
        UINT codePage = 0;
        ASSERT_NE(GetLocaleInfoA(MAKELCID(language, SORT_DEFAULT), LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                                 reinterpret_cast<LPSTR>(&codePage), sizeof codePage),
                  0);
        ASSERT_NE(codePage, 0u) << "a language without an ANSI code page";
        for (int id = 130; id <= 139; ++id) {
            SCOPED_TRACE("id " + std::to_string(id));
            const auto text = StringTableEntry(language, id);
            ASSERT_TRUE(text && !text->empty());
            const int length = static_cast<int>(text->size());
            BOOL usedDefault = FALSE;
            std::string narrow(static_cast<std::size_t>(2 * length), '\0');
            const int bytes = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text->data(), length,
                                                  &narrow[0], 2 * length, nullptr, &usedDefault);
            EXPECT_GT(bytes, 0);
            EXPECT_FALSE(usedDefault);
        }
    }
}

}  // namespace
