// The camera's drive path is made narrow as UTF-8 whatever the locale: file names are bytes
// that desktops write as UTF-8, so a card folder named outside ASCII is found also while
// the locale's character set is a single-byte one ("C" counts as Latin-1 here), which would
// name no folder or hold no such character at all.
#include "app/CardLayout.h"

#include "com/ComError.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace {

class CardLayoutLocale : public testing::TestWithParam<const char*> {
protected:
    void SetUp() override { ASSERT_NE(std::setlocale(LC_ALL, GetParam()), nullptr); }
    void TearDown() override { std::setlocale(LC_ALL, saved_.c_str()); }

private:
    const std::string saved_ = std::setlocale(LC_ALL, nullptr);
};

TEST_P(CardLayoutLocale, PathIsUtf8) {
    const struct {
        const OLECHAR* wide;
        const char* narrow;
    } rows[] = {
        {u"/media/c\u00E4rd/", "/media/c\xC3\xA4rd/"},
        {u"/media/\u30AB\u30FC\u30C9/", "/media/\xE3\x82\xAB\xE3\x83\xBC\xE3\x83\x89/"},
    };
    for (const auto& row : rows) {
        const WideStringHandle path(row.wide);
        EXPECT_NO_THROW(CardLayout{path}) << row.narrow;
        const CardLayout layout(path);
        EXPECT_STREQ(layout.Drive(), row.narrow);
    }
}

// Exact all the same: what is no character names no folder.
TEST_P(CardLayoutLocale, LoneSurrogateIsRefused) {
    const OLECHAR lone[] = {u'/', 0xD800, u'/', 0};
    EXPECT_THROW(CardLayout{WideStringHandle(lone)}, _com_error);
}

INSTANTIATE_TEST_SUITE_P(Locales, CardLayoutLocale, testing::Values("C", "C.UTF-8"),
                         [](const testing::TestParamInfo<const char*>& row) {
                             return std::string(row.param[1] == 0 ? "C" : "CUtf8");
                         });

}  // namespace
