// The system's language as a Windows language id, read from the locale the environment
// names: LC_ALL, then LC_MESSAGES, then LANG, the first that is set and not empty.
//
// A name is language[_REGION][.charset][@modifier].  The language and region give the id
// Windows uses for that locale; a language alone, or with a region not listed, gives the
// language's usual locale (so "de_IT" is still German); "C", "POSIX", an unknown language
// or no setting at all give English (United States), as Wine reports for them.
#include "platform/Platform.h"

#include <cstdlib>
#include <initializer_list>
#include <string>

namespace {

struct LocaleId {
    const char* language;
    const char* region;
    const char* modifier;  // "" for none
    LANGID id;
};

constexpr LANGID kEnglishUnitedStates = 0x0409;

// The first row of each language is its usual locale.
constexpr LocaleId kLocales[] = {
    {"af", "ZA", "", 0x0436},       {"am", "ET", "", 0x045E},       {"ar", "SA", "", 0x0401},
    {"ar", "IQ", "", 0x0801},       {"ar", "EG", "", 0x0C01},       {"ar", "LY", "", 0x1001},
    {"ar", "DZ", "", 0x1401},       {"ar", "MA", "", 0x1801},       {"ar", "TN", "", 0x1C01},
    {"ar", "OM", "", 0x2001},       {"ar", "YE", "", 0x2401},       {"ar", "SY", "", 0x2801},
    {"ar", "JO", "", 0x2C01},       {"ar", "LB", "", 0x3001},       {"ar", "KW", "", 0x3401},
    {"ar", "AE", "", 0x3801},       {"ar", "BH", "", 0x3C01},       {"ar", "QA", "", 0x4001},
    {"as", "IN", "", 0x044D},       {"az", "AZ", "", 0x042C},       {"ba", "RU", "", 0x046D},
    {"be", "BY", "", 0x0423},       {"bg", "BG", "", 0x0402},       {"bn", "IN", "", 0x0445},
    {"bn", "BD", "", 0x0845},       {"bo", "CN", "", 0x0451},       {"br", "FR", "", 0x047E},
    {"bs", "BA", "", 0x141A},       {"ca", "ES", "", 0x0403},       {"ca", "ES", "valencia", 0x0803},
    {"co", "FR", "", 0x0483},       {"cs", "CZ", "", 0x0405},       {"cy", "GB", "", 0x0452},
    {"da", "DK", "", 0x0406},       {"de", "DE", "", 0x0407},       {"de", "CH", "", 0x0807},
    {"de", "AT", "", 0x0C07},       {"de", "LU", "", 0x1007},       {"de", "LI", "", 0x1407},
    {"dv", "MV", "", 0x0465},       {"el", "GR", "", 0x0408},       {"en", "US", "", 0x0409},
    {"en", "GB", "", 0x0809},       {"en", "AU", "", 0x0C09},       {"en", "CA", "", 0x1009},
    {"en", "NZ", "", 0x1409},       {"en", "IE", "", 0x1809},       {"en", "ZA", "", 0x1C09},
    {"en", "JM", "", 0x2009},       {"en", "BZ", "", 0x2809},       {"en", "TT", "", 0x2C09},
    {"en", "ZW", "", 0x3009},       {"en", "PH", "", 0x3409},       {"en", "IN", "", 0x4009},
    {"en", "MY", "", 0x4409},       {"en", "SG", "", 0x4809},       {"es", "ES", "", 0x0C0A},
    {"es", "MX", "", 0x080A},       {"es", "GT", "", 0x100A},       {"es", "CR", "", 0x140A},
    {"es", "PA", "", 0x180A},       {"es", "DO", "", 0x1C0A},       {"es", "VE", "", 0x200A},
    {"es", "CO", "", 0x240A},       {"es", "PE", "", 0x280A},       {"es", "AR", "", 0x2C0A},
    {"es", "EC", "", 0x300A},       {"es", "CL", "", 0x340A},       {"es", "UY", "", 0x380A},
    {"es", "PY", "", 0x3C0A},       {"es", "BO", "", 0x400A},       {"es", "SV", "", 0x440A},
    {"es", "HN", "", 0x480A},       {"es", "NI", "", 0x4C0A},       {"es", "PR", "", 0x500A},
    {"es", "US", "", 0x540A},       {"et", "EE", "", 0x0425},       {"eu", "ES", "", 0x042D},
    {"fa", "IR", "", 0x0429},       {"fi", "FI", "", 0x040B},       {"fil", "PH", "", 0x0464},
    {"fo", "FO", "", 0x0438},       {"fr", "FR", "", 0x040C},       {"fr", "BE", "", 0x080C},
    {"fr", "CA", "", 0x0C0C},       {"fr", "CH", "", 0x100C},       {"fr", "LU", "", 0x140C},
    {"fr", "MC", "", 0x180C},       {"fy", "NL", "", 0x0462},       {"ga", "IE", "", 0x083C},
    {"gd", "GB", "", 0x0491},       {"gl", "ES", "", 0x0456},       {"gu", "IN", "", 0x0447},
    {"he", "IL", "", 0x040D},       {"hi", "IN", "", 0x0439},       {"hr", "HR", "", 0x041A},
    {"hr", "BA", "", 0x101A},       {"hu", "HU", "", 0x040E},       {"hy", "AM", "", 0x042B},
    {"id", "ID", "", 0x0421},       {"ig", "NG", "", 0x0470},       {"is", "IS", "", 0x040F},
    {"it", "IT", "", 0x0410},       {"it", "CH", "", 0x0810},       {"ja", "JP", "", 0x0411},
    {"ka", "GE", "", 0x0437},       {"kk", "KZ", "", 0x043F},       {"kl", "GL", "", 0x046F},
    {"km", "KH", "", 0x0453},       {"kn", "IN", "", 0x044B},       {"ko", "KR", "", 0x0412},
    {"ky", "KG", "", 0x0440},       {"lb", "LU", "", 0x046E},       {"lo", "LA", "", 0x0454},
    {"lt", "LT", "", 0x0427},       {"lv", "LV", "", 0x0426},       {"mi", "NZ", "", 0x0481},
    {"mk", "MK", "", 0x042F},       {"ml", "IN", "", 0x044C},       {"mn", "MN", "", 0x0450},
    {"mr", "IN", "", 0x044E},       {"ms", "MY", "", 0x043E},       {"ms", "BN", "", 0x083E},
    {"mt", "MT", "", 0x043A},       {"nb", "NO", "", 0x0414},       {"ne", "NP", "", 0x0461},
    {"nl", "NL", "", 0x0413},       {"nl", "BE", "", 0x0813},       {"nn", "NO", "", 0x0814},
    {"no", "NO", "", 0x0414},       {"oc", "FR", "", 0x0482},       {"or", "IN", "", 0x0448},
    {"pa", "IN", "", 0x0446},       {"pl", "PL", "", 0x0415},       {"ps", "AF", "", 0x0463},
    {"pt", "BR", "", 0x0416},       {"pt", "PT", "", 0x0816},       {"rm", "CH", "", 0x0417},
    {"ro", "RO", "", 0x0418},       {"ru", "RU", "", 0x0419},       {"rw", "RW", "", 0x0487},
    {"sa", "IN", "", 0x044F},       {"si", "LK", "", 0x045B},       {"sk", "SK", "", 0x041B},
    {"sl", "SI", "", 0x0424},       {"sq", "AL", "", 0x041C},       {"sr", "RS", "latin", 0x241A},
    {"sr", "RS", "", 0x281A},       {"sr", "ME", "latin", 0x2C1A},  {"sr", "ME", "", 0x301A},
    {"sv", "SE", "", 0x041D},       {"sv", "FI", "", 0x081D},       {"sw", "KE", "", 0x0441},
    {"ta", "IN", "", 0x0449},       {"te", "IN", "", 0x044A},       {"tg", "TJ", "", 0x0428},
    {"th", "TH", "", 0x041E},       {"tk", "TM", "", 0x0442},       {"tn", "ZA", "", 0x0432},
    {"tr", "TR", "", 0x041F},       {"tt", "RU", "", 0x0444},       {"ug", "CN", "", 0x0480},
    {"uk", "UA", "", 0x0422},       {"ur", "PK", "", 0x0420},       {"uz", "UZ", "", 0x0443},
    {"uz", "UZ", "cyrillic", 0x0843}, {"vi", "VN", "", 0x042A},     {"wo", "SN", "", 0x0488},
    {"xh", "ZA", "", 0x0434},       {"yo", "NG", "", 0x046A},       {"zh", "CN", "", 0x0804},
    {"zh", "TW", "", 0x0404},       {"zh", "HK", "", 0x0C04},       {"zh", "SG", "", 0x1004},
    {"zh", "MO", "", 0x1404},       {"zu", "ZA", "", 0x0435},
};

// The locale name in force for messages, or null when none is set.
const char* MessagesLocale() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && value[0] != 0) {
            return value;
        }
    }
    return nullptr;
}

LANGID LanguageIdOf(const char* name) {
    const std::string locale(name);
    const std::size_t languageEnd = locale.find_first_of("_.@");
    const std::string language = locale.substr(0, languageEnd);
    std::string region;
    if (languageEnd != std::string::npos && locale[languageEnd] == '_') {
        region = locale.substr(languageEnd + 1, locale.find_first_of(".@", languageEnd) - languageEnd - 1);
    }
    const std::size_t at = locale.find('@');
    const std::string modifier = at == std::string::npos ? std::string() : locale.substr(at + 1);

    const LocaleId* usual = nullptr;
    const LocaleId* regional = nullptr;
    for (const LocaleId& row : kLocales) {
        if (language != row.language) {
            continue;
        }
        if (usual == nullptr) {
            usual = &row;
        }
        if (region == row.region) {
            if (modifier == row.modifier) {
                return row.id;
            }
            if (regional == nullptr && row.modifier[0] == 0) {
                regional = &row;  // a modifier this table does not tell apart, such as @euro
            }
        }
    }
    if (regional != nullptr) {
        return regional->id;
    }
    return usual != nullptr ? usual->id : kEnglishUnitedStates;
}

}  // namespace

LANGID GetSystemDefaultLangID() {
    const char* locale = MessagesLocale();
    return locale == nullptr ? kEnglishUnitedStates : LanguageIdOf(locale);
}
