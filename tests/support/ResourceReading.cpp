#include "support/ResourceReading.h"

HMODULE ProgramModule() { return GetModuleHandleA(nullptr); }

std::optional<std::vector<unsigned char>> ResourceBytes(WORD type, WORD name, WORD language) {
    const HMODULE module = ProgramModule();
    const HRSRC resource = FindResourceExA(module, MAKEINTRESOURCEA(type), MAKEINTRESOURCEA(name), language);
    if (resource == nullptr) {
        return std::nullopt;
    }
    const auto* data = static_cast<const unsigned char*>(LockResource(LoadResource(module, resource)));
    if (data == nullptr) {
        return std::nullopt;
    }
    return std::vector<unsigned char>(data, data + SizeofResource(module, resource));
}

std::optional<WideText> StringTableEntry(WORD language, int id) {
    const auto block = ResourceBytes(6, static_cast<WORD>(id / 16 + 1), language);
    if (!block) {
        return std::nullopt;
    }
    std::size_t at = 0;
    for (int entry = 0; entry < 16 && at + 2 <= block->size(); ++entry) {
        const std::size_t count = static_cast<std::size_t>((*block)[at] | ((*block)[at + 1] << 8));
        at += 2;
        if (entry == id % 16) {
            WideText text;
            for (std::size_t i = 0; i < count && at + 2 * i + 1 < block->size(); ++i) {
                text.push_back(static_cast<WCHAR>((*block)[at + 2 * i] | ((*block)[at + 2 * i + 1] << 8)));
            }
            return text;
        }
        at += 2 * count;
    }
    return WideText();
}

std::string Narrow(const WideText& text) {
    if (text.empty()) {
        return std::string();
    }
    const int length = static_cast<int>(text.size());
    const int bytes = WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), length, narrow.data(), bytes, nullptr, nullptr);
    return narrow;
}
