// The localized texts of one module's string tables, with the language fallback every
// message goes through.  The module is given once, when the catalogue is made.
//
// Each load replaces the content of the TextString it is given; a refused allocation
// raises _com_error with E_OUTOFMEMORY.
#pragma once

#include "platform/Platform.h"

class TextString;

class Catalogue {
public:
    explicit Catalogue(HMODULE module) noexcept : module_(module) {}

    // The text in `language`; failing that, with `fallback`, in the system's language,
    // in the requested language's primary language and in English (United States), the
    // first whose text the ANSI code page can show.  False (and `text` empty) when none
    // has one.
    bool LoadLocalized(TextString& text, int id, LANGID language, bool fallback) const;
    // The text in exactly `language`; language 0 lets the system's loader pick one.
    // `text` is emptied first.
    bool LoadInLanguage(TextString& text, int id, LANGID language) const;
    // The text from the string block of `language`; a miss leaves `text` as it was.
    bool LoadFromStringBlock(TextString& text, int id, LANGID language) const;

private:
    HMODULE module_;
};
