// The system language of the POSIX layer: the locale the environment names, as Windows
// (and Wine, for the same locale) would report it.
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace {

// Sets the three variables for one test and puts back what was there.
class LocaleVariables {
public:
    LocaleVariables(const char* all, const char* messages, const char* lang) {
        for (std::size_t i = 0; i < kCount; ++i) {
            const char* old = std::getenv(kNames[i]);
            saved_[i] = old == nullptr ? std::nullopt : std::optional<std::string>(old);
        }
        Set(kNames[0], all);
        Set(kNames[1], messages);
        Set(kNames[2], lang);
    }
    ~LocaleVariables() {
        for (std::size_t i = 0; i < kCount; ++i) {
            Set(kNames[i], saved_[i] ? saved_[i]->c_str() : nullptr);
        }
    }
    LocaleVariables(const LocaleVariables&) = delete;
    LocaleVariables& operator=(const LocaleVariables&) = delete;

private:
    static void Set(const char* name, const char* value) {
        if (value == nullptr) {
            unsetenv(name);
        } else {
            setenv(name, value, 1);
        }
    }

    static constexpr std::size_t kCount = 3;
    static constexpr const char* kNames[kCount] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::optional<std::string> saved_[kCount];
};

struct LocaleCase {
    const char* all;
    const char* messages;
    const char* lang;
    LANGID expected;
};

const LocaleCase kLocaleCases[] = {
    // The regions of the catalogue's languages, and their neighbours.
    {"de_DE.UTF-8", nullptr, nullptr, 0x0407},
    {"de_AT.UTF-8", nullptr, nullptr, 0x0C07},
    {"de_CH.UTF-8", nullptr, nullptr, 0x0807},
    {"en_US.UTF-8", nullptr, nullptr, 0x0409},
    {"en_GB.UTF-8", nullptr, nullptr, 0x0809},
    {"es_ES.UTF-8", nullptr, nullptr, 0x0C0A},
    {"es_MX.UTF-8", nullptr, nullptr, 0x080A},
    {"fr_FR.UTF-8", nullptr, nullptr, 0x040C},
    {"fr_CA.UTF-8", nullptr, nullptr, 0x0C0C},
    {"fr_BE.UTF-8", nullptr, nullptr, 0x080C},
    {"it_IT.UTF-8", nullptr, nullptr, 0x0410},
    {"it_CH.UTF-8", nullptr, nullptr, 0x0810},
    {"ja_JP.UTF-8", nullptr, nullptr, 0x0411},
    {"pt_BR.UTF-8", nullptr, nullptr, 0x0416},
    {"pt_PT.UTF-8", nullptr, nullptr, 0x0816},
    {"ko_KR.UTF-8", nullptr, nullptr, 0x0412},
    {"zh_CN.UTF-8", nullptr, nullptr, 0x0804},
    {"zh_TW.UTF-8", nullptr, nullptr, 0x0404},
    {"nl_NL.UTF-8", nullptr, nullptr, 0x0413},
    // Character set and modifier do not change the language, unless the modifier names
    // another locale.
    {"de_AT.ISO-8859-1", nullptr, nullptr, 0x0C07},
    {"de_AT@euro", nullptr, nullptr, 0x0C07},
    {"de_AT", nullptr, nullptr, 0x0C07},
    {"ca_ES.UTF-8@valencia", nullptr, nullptr, 0x0803},
    {"sr_RS@latin", nullptr, nullptr, 0x241A},
    {"sr_RS", nullptr, nullptr, 0x281A},
    // A language alone is its usual locale; so is a language with a region not listed.
    {"de", nullptr, nullptr, 0x0407},
    {"es", nullptr, nullptr, 0x0C0A},
    {"pt", nullptr, nullptr, 0x0416},
    {"zh", nullptr, nullptr, 0x0804},
    {"de_IT.UTF-8", nullptr, nullptr, 0x0407},
    // No language: English (United States).
    {"C", nullptr, nullptr, 0x0409},
    {"POSIX", nullptr, nullptr, 0x0409},
    {"C.UTF-8", nullptr, nullptr, 0x0409},
    {"xx_YY.UTF-8", nullptr, nullptr, 0x0409},
    {nullptr, nullptr, nullptr, 0x0409},
    // LC_ALL, then LC_MESSAGES, then LANG; an empty variable counts as unset.
    {"fr_FR.UTF-8", "de_DE.UTF-8", "it_IT.UTF-8", 0x040C},
    {nullptr, "de_DE.UTF-8", "it_IT.UTF-8", 0x0407},
    {nullptr, nullptr, "it_IT.UTF-8", 0x0410},
    {"", "", "pt_PT.UTF-8", 0x0816},
    {"", "ja_JP.UTF-8", "", 0x0411},
};

std::string Describe(const char* value) { return value == nullptr ? "(unset)" : "\"" + std::string(value) + "\""; }

TEST(SystemLanguageTest, LocaleVariablesGiveTheWindowsLanguageId) {
    for (const LocaleCase& row : kLocaleCases) {
        SCOPED_TRACE("LC_ALL " + Describe(row.all) + ", LC_MESSAGES " + Describe(row.messages) + ", LANG " +
                     Describe(row.lang));
        LocaleVariables variables(row.all, row.messages, row.lang);
        EXPECT_EQ(GetSystemDefaultLangID(), row.expected);
    }
}

}  // namespace
