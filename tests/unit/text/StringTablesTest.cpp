// The loader against string tables made for it (TestStringTables.rc): blocks shorter
// than their counts claim are failed candidates and are never read past their end, and
// the no-language path cuts long texts at the loader's buffer.
#include "support/FaultInjection.h"

#include "platform/SystemApi.h"
#include "text/Catalogue.h"
#include "text/ModuleFromAddress.h"
#include "text/TextString.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

constexpr LANGID kEnglish = 0x0409;
constexpr LANGID kItalian = 0x0410;

HMODULE LoaderModule() { return ModuleFromAddress(reinterpret_cast<const void*>(&ModuleFromAddress)); }
Catalogue LoaderCatalogue() { return Catalogue(LoaderModule()); }

LANGID SystemIsItalian() { return kItalian; }

struct BlockCase {
    const char* what;
    LANGID language;
    int id;
    const char* text;  // null: not found
};

const BlockCase kBlockCases[] = {
    {"a whole block", kEnglish, 130, "Whole"},
    {"a whole block written by hand", 0x0413, 130, "Raw!"},
    {"a whole block whose last entry ends at the end of the resource", 0x040A, 143, "End"},
    {"an entry of that block", 0x040A, 130, "Ok"},
    {"an empty resource", 0x0407, 130, nullptr},
    {"a block that ends after two counts", 0x040C, 130, nullptr},
    {"a text that runs past the end of its block", kItalian, 130, nullptr},
    {"a whole text in a block whose later count runs past its end", 0x0416, 130, nullptr},
    {"an absent entry of a whole block", kEnglish, 131, nullptr},
};

TEST(StringTablesTest, BlocksShorterThanTheirCountsClaimHoldNoText) {
    for (const BlockCase& row : kBlockCases) {
        SCOPED_TRACE(row.what);
        TextString text("left over from before");
        EXPECT_EQ(LoaderCatalogue().LoadInLanguage(text, row.id, row.language), row.text != nullptr);
        EXPECT_STREQ(text.Text(), row.text != nullptr ? row.text : "");
    }
}

TEST(StringTablesTest, ShortBlockIsAFailedCandidateAndTheChainGoesOn) {
    ScopedOverride<LANGID (*)()> system(&platform::SystemApi::GetSystemDefaultLangID, &SystemIsItalian);
    TextString text;
    EXPECT_TRUE(LoaderCatalogue().LoadLocalized(text, 130, kItalian, true));
    EXPECT_STREQ(text.Text(), "Whole");
}

std::string LongText() {
    std::string text;
    for (int line = 0; line < 21; ++line) {
        char piece[64];
        std::snprintf(piece, sizeof piece, "Line %04d of a text longer than the loader's buffer. ", line);
        text += piece;
    }
    return text;
}

TEST(StringTablesTest, NoLanguagePathCutsTextsAt1023Bytes) {
    TextString text;
    EXPECT_TRUE(LoaderCatalogue().LoadInLanguage(text, 1, 0));
    EXPECT_EQ(text.Length(), 1023u);
    EXPECT_EQ(std::string(text.Text()), LongText().substr(0, 1023));
}

// A specific language also finds the language-neutral table, as the system's resource
// lookup does; the text then comes whole.
TEST(StringTablesTest, LanguagePathTakesTheWholeText) {
    TextString text;
    EXPECT_TRUE(LoaderCatalogue().LoadInLanguage(text, 1, kEnglish));
    EXPECT_EQ(std::string(text.Text()), LongText());
    EXPECT_EQ(text.Length(), 1113u);
}

}  // namespace
