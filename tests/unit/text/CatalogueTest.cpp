// The message catalogue as the string loader delivers it: the language fallback, the
// English texts, and the same inserts in every language, checked against the string
// tables themselves.
#include "CatalogueLanguages.h"
#include "support/FaultInjection.h"
#include "support/RaisedStatus.h"
#include "support/ResourceReading.h"

#include "com/ComError.h"
#include "platform/SystemApi.h"
#include "resources/ResourceIds.h"
#include "text/Catalogue.h"
#include "text/ModuleFromAddress.h"
#include "text/TextString.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The languages the fallback cases go through; the catalogue's full list is generated
// from the resource script (CatalogueLanguages.h).
constexpr LANGID kGerman = 0x0407;
constexpr LANGID kEnglish = 0x0409;
constexpr LANGID kSpanish = 0x040A;
constexpr LANGID kFrench = 0x040C;
constexpr LANGID kItalian = 0x0410;
constexpr LANGID kKorean = 0x0412;
constexpr LANGID kPortuguese = 0x0416;

constexpr int kFirstMessage = IDS_UPGRADE_DONE;
constexpr int kLastMessage = IDS_NO_CARD;

// The module the loader reads, found the way its callers find it.
HMODULE LoaderModule() { return ModuleFromAddress(reinterpret_cast<const void*>(&ModuleFromAddress)); }
Catalogue LoaderCatalogue() { return Catalogue(LoaderModule()); }

// The system language the loader is told, for one test at a time.
LANGID fakeSystemLanguage = kEnglish;
LANGID FakeSystemLanguage() { return fakeSystemLanguage; }

class SystemLanguage {
public:
    explicit SystemLanguage(LANGID language) : swap_(&platform::SystemApi::GetSystemDefaultLangID, &FakeSystemLanguage) {
        fakeSystemLanguage = language;
    }

private:
    ScopedOverride<LANGID (*)()> swap_;
};

std::string ExpectedText(LANGID language, int id) {
    const auto text = StringTableEntry(language, id);
    return text ? Narrow(*text) : std::string("(no block in this language)");
}

// Every insert of a text in order of appearance, sorted: "%1", "%3!d!", and any other
// use of a percent sign as "%" with the character after it.
std::vector<WideText> InsertsOf(const WideText& text) {
    std::vector<WideText> inserts;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            continue;
        }
        std::size_t end = i + 1;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9') {
            ++end;
        }
        if (end == i + 1) {
            end = std::min(end + 1, text.size());
        } else if (end < text.size() && text[end] == '!') {
            const std::size_t close = text.find('!', end + 1);
            end = close == WideText::npos ? text.size() : close + 1;
        }
        inserts.push_back(text.substr(i, end - i));
        i = end - 1;
    }
    std::sort(inserts.begin(), inserts.end());
    return inserts;
}

struct FallbackCase {
    const char* what;
    LANGID requested;
    LANGID system;
    bool fallback;
    int id;
    LANGID expected;  // 0: no text at all
};

const FallbackCase kFallbackCases[] = {
    {"German (Germany) has its own texts", 1031, 1031, true, 130, kGerman},
    {"German (Austria) falls back to its primary language", 3079, 3079, true, 130, kGerman},
    {"Portuguese (Portugal) falls back to Portuguese (Brazil)", 2070, 2070, true, 130, kPortuguese},
    {"Spanish (modern sort) falls back to Spanish (traditional sort)", 3082, 3082, true, 135, kSpanish},
    {"English (United Kingdom) falls back to English (United States)", 2057, 2057, true, 136, kEnglish},
    {"Korean has no texts: English", 1042, 1042, true, 139, kEnglish},
    {"Korean without fallback: nothing", 1042, 1042, false, 130, 0},
    // These tests run in code pages that lack Japanese (the "C" locale, Windows 1252).
    {"Japanese in a code page without it falls back to English", 1041, 1041, true, 135, kEnglish},
    {"a system language other than the requested one comes before English", 1042, 1036, true, 130, kFrench},
    {"the system language comes before the requested primary language", 2057, 1040, true, 130, kItalian},
    {"the requested language wins over the system language", 1031, 1036, true, 130, kGerman},
    {"the primary language is the requested one's, not the system's", 3079, 1042, true, 130, kGerman},
};

TEST(CatalogueTest, LoadLocalizedFallsBackThroughTheLanguageChain) {
    for (const FallbackCase& row : kFallbackCases) {
        SCOPED_TRACE(row.what);
        SystemLanguage system(row.system);
        TextString text("left over from before");
        const bool loaded = LoaderCatalogue().LoadLocalized(text, row.id, row.requested, row.fallback);
        EXPECT_EQ(loaded, row.expected != 0);
        EXPECT_EQ(std::string(text.Text()), row.expected != 0 ? ExpectedText(row.expected, row.id) : std::string());
        EXPECT_EQ(text.Length(), std::string(text.Text()).size());
    }
}

TEST(CatalogueTest, IdsOutsideTheCatalogueAreAbsentInEveryLanguage) {
    std::vector<LANGID> languages(std::begin(kCatalogueLanguages), std::end(kCatalogueLanguages));
    languages.push_back(kKorean);
    for (const int id : {128, 129, 140}) {
        for (const LANGID language : languages) {
            SCOPED_TRACE("id " + std::to_string(id) + ", language " + std::to_string(language));
            SystemLanguage system(language);
            TextString text("left over from before");
            EXPECT_FALSE(LoaderCatalogue().LoadLocalized(text, id, language, true));
            EXPECT_EQ(text.Length(), 0u);
            EXPECT_STREQ(text.Text(), "");
        }
    }
}

// The English texts, every line break and double space included.
TEST(CatalogueTest, EnglishTextsAreExactlyTheCatalogues) {
    const struct {
        int id;
        const char* text;
    } kEnglishTexts[] = {
        {130,
         "When the progress bar disappears:\r\n\r\n1.) Turn the camera off.\r\n2.) Disconnect the USB cable.\r\n"
         "3.) Turn the camera on.\r\n4.) Follow the instructions on the camera to complete the upgrade."},
        {131, "Firmware upgrade failed!  Please contact the vendor at: https://support.quelda.example/firmware"},
        {132,
         "There is more than one camera of type  %1  connected to the system.\r\n  This utility requires that only "
         "one camera of this type be connected during the upgrade process."},
        {133,
         "This firmware upgrade utility will only upgrade cameras of type %1. No cameras of this type have been "
         "detected.  Please verify the camera cables are connected and the power is on."},
        {134,
         "This operation will upgrade your  %1 to %2.\r\n\r\nPlease make sure:\r\n\r\n1.) An AC adapter is "
         "connected or your battery is fully charged.\r\n2.) You have a memory card installed in your camera.\r\n"
         "3.) You have at least %3!d! KB of free space on your memory card.\r\n\r\nPress OK to perform upgrade."},
        {135,
         "The camera %1 on drive %2 seems to have disconnected from the system.  Please verify the camera cables "
         "are connected and the power is on."},
        {136, "QUELDA Digital Camera Firmware Upgrade Utility"},
        {137,
         "This firmware upgrade utility will only work with  %1 software installed on your system.  Please install "
         "the software and restart the application."},
        {138,
         "There is insufficient space on your memory card to perform this upgrade.\r\nPlease free up space and "
         "restart the application."},
        {139, "Please confirm there is a flash card in the camera and restart the application."},
    };
    SystemLanguage system(kEnglish);
    for (const auto& row : kEnglishTexts) {
        SCOPED_TRACE(row.id);
        TextString text;
        EXPECT_TRUE(LoaderCatalogue().LoadLocalized(text, row.id, kEnglish, true));
        EXPECT_STREQ(text.Text(), row.text);
    }
}

// A translation that drops, adds or renumbers an insert would fill in the wrong values.
TEST(CatalogueTest, EveryLanguageHasEveryTextWithTheEnglishInserts) {
    const auto englishFailure = StringTableEntry(kEnglish, 131);
    ASSERT_TRUE(englishFailure);
    const WideText address = englishFailure->substr(englishFailure->rfind(' ') + 1);
    ASSERT_EQ(address.rfind(WideText{'h', 't', 't', 'p', 's', ':', '/', '/'}, 0), 0u);

    for (const LANGID language : kCatalogueLanguages) {
        for (int id = kFirstMessage; id <= kLastMessage; ++id) {
            SCOPED_TRACE("language " + std::to_string(language) + ", id " + std::to_string(id));
            const auto text = StringTableEntry(language, id);
            ASSERT_TRUE(text) << "no string table in this language";
            EXPECT_FALSE(text->empty());
            EXPECT_EQ(InsertsOf(*text), InsertsOf(*StringTableEntry(kEnglish, id)));
            if (language != kEnglish) {
                EXPECT_NE(*text, *StringTableEntry(kEnglish, id)) << "not translated";
            }
        }
        SCOPED_TRACE("language " + std::to_string(language));
        const WideText failure = *StringTableEntry(language, 131);
        EXPECT_EQ(failure.substr(failure.size() - std::min(failure.size(), address.size())), address);
        for (const int absent : {128, 129, 140, 141, 142, 143}) {
            EXPECT_EQ(StringTableEntry(language, absent), WideText()) << "id " << absent;
        }
    }
}

TEST(CatalogueTest, ConfirmationShowsTheModelTheVersionAndThePayloadInKilobytes) {
    const auto model = ResourceBytes(10, IDR_MODEL_NAME, kEnglish);
    const auto version = ResourceBytes(10, IDR_VERSION_LABEL, kEnglish);
    const auto payload = ResourceBytes(10, IDR_PAYLOAD, kEnglish);
    ASSERT_TRUE(model && version && payload);
    const std::string modelName(model->begin(), model->end());
    const std::string versionLabel(version->begin(), version->end());

    SystemLanguage system(kEnglish);
    TextString message;
    ASSERT_TRUE(LoaderCatalogue().LoadLocalized(message, 134, kEnglish, true));
    message.Format(message.Text(), modelName.c_str(), versionLabel.c_str(), static_cast<int>(payload->size() / 1000));

    EXPECT_STREQ(message.Text(),
                 "This operation will upgrade your  " FWUPGRADE_MODEL_NAME " to " FWUPGRADE_VERSION_LABEL
                 ".\r\n\r\nPlease make sure:\r\n\r\n1.) An AC adapter is connected or your battery is fully "
                 "charged.\r\n2.) You have a memory card installed in your camera.\r\n3.) You have at least " FWUPGRADE_PAYLOAD_KB
                 " KB of free space on your memory card.\r\n\r\nPress OK to perform upgrade.");
}

// Without a language the system's own loader picks one: the system's, when the catalogue
// has it.  The tests run once in the "C" locale and once in a German one; each run names
// the language its locale stands for in FWUPGRADE_TEST_SYSTEM_LANGUAGE.
TEST(CatalogueTest, NoLanguageGivesTheTextInTheSystemLanguage) {
    const char* expected = std::getenv("FWUPGRADE_TEST_SYSTEM_LANGUAGE");
    ASSERT_NE(expected, nullptr) << "FWUPGRADE_TEST_SYSTEM_LANGUAGE not set";
    const LANGID system = GetSystemDefaultLangID();
    ASSERT_EQ(system, std::atoi(expected));
    for (int id = kFirstMessage; id <= kLastMessage; ++id) {
        SCOPED_TRACE(id);
        TextString text("left over from before");
        EXPECT_TRUE(LoaderCatalogue().LoadInLanguage(text, id, 0));
        EXPECT_EQ(std::string(text.Text()), ExpectedText(system, id));
    }
    TextString absent("left over from before");
    EXPECT_FALSE(LoaderCatalogue().LoadInLanguage(absent, 140, 0));
    EXPECT_STREQ(absent.Text(), "");
}

TEST(CatalogueTest, RefusedWideCopyRaisesOutOfMemoryAndLeavesTheStringEmpty) {
    FailingCall<&platform::SystemApi::HeapAlloc> refuse(1, nullptr);
    TextString text("left over from before");
    EXPECT_EQ(RaisedStatus([&] { LoaderCatalogue().LoadInLanguage(text, 130, kEnglish); }), E_OUTOFMEMORY);
    EXPECT_EQ(refuse.Calls(), 1);
    EXPECT_EQ(text.Length(), 0u);
}

TEST(CatalogueTest, TheLoaderReadsTheModuleThatHoldsItsCode) {
    const HMODULE program = ProgramModule();
    ASSERT_NE(program, nullptr);
    EXPECT_EQ(LoaderModule(), program);
    EXPECT_EQ(ModuleFromAddress(&kCatalogueLanguages), program);
    const std::vector<int> heap(4);
    EXPECT_NE(ModuleFromAddress(heap.data()), program);
}

}  // namespace
