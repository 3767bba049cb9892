// Reading this test program's own resources directly, without the string loader, so the
// loader's results can be checked against the data.
#pragma once

#include "platform/Platform.h"

#include <optional>
#include <string>
#include <vector>

using WideText = std::basic_string<WCHAR>;

// The program's module, as the system names it.
HMODULE ProgramModule();

// The bytes of one resource in exactly one language; nothing when it is absent.
std::optional<std::vector<unsigned char>> ResourceBytes(WORD type, WORD name, WORD language);

// Entry `id % 16` of the string-table block holding `id` in `language`: nothing when the
// block is absent; an empty text for an absent entry.
std::optional<WideText> StringTableEntry(WORD language, int id);

// A wide text in the ANSI code page in force, as the loader converts it.
std::string Narrow(const WideText& text);
