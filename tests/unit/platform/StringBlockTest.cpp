// The string-table block walk: which entries it finds, and that it refuses, rather than
// reads past, a block shorter than its counts claim.
#include "platform/StringBlock.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Block bytes from entries given as texts of ASCII characters; `cut` drops that many bytes
// from the end.
std::vector<BYTE> Block(const std::vector<std::string>& entries, std::size_t cut = 0) {
    std::vector<BYTE> bytes;
    for (const std::string& text : entries) {
        bytes.push_back(static_cast<BYTE>(text.size()));
        bytes.push_back(0);
        for (const char c : text) {
            bytes.push_back(static_cast<BYTE>(c));
            bytes.push_back(0);
        }
    }
    bytes.resize(bytes.size() - cut);
    return bytes;
}

std::string TextOf(const platform::StringBlockEntry& entry) {
    std::string text;
    for (WORD i = 0; i < entry.count; ++i) {
        text += static_cast<char>(platform::StringBlockUnit(entry, i));
    }
    return text;
}

const std::vector<std::string> kSixteen = {"", "", "ab", "", "", "", "", "", "", "", "", "", "", "", "", "xyz"};

TEST(StringBlock, FindsAnEntryOnlyWhereTheCheckedEntriesLieWithinTheBlock) {
    const struct {
        const char* name;
        std::vector<BYTE> block;
        int wanted;
        int checkedThrough;
        bool found;
        std::string text;
    } cases[] = {
        {"whole block, early entry", Block(kSixteen), 2, 15, true, "ab"},
        {"whole block, last entry", Block(kSixteen), 15, 15, true, "xyz"},
        {"absent entry", Block(kSixteen), 3, 15, false, ""},
        {"last text one byte short", Block(kSixteen, 1), 2, 15, false, ""},
        {"short after the wanted entry, checked only that far", Block(kSixteen, 1), 2, 2, true, "ab"},
        {"count claims more than the block holds", Block({"", "", "ab"}, 2), 2, 2, false, ""},
        {"a count cut in half", Block({"", ""}, 1), 2, 2, false, ""},
        {"empty block", {}, 0, 0, false, ""},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        platform::StringBlockEntry entry;
        const BYTE* bytes = row.block.empty() ? nullptr : row.block.data();
        EXPECT_EQ(platform::FindStringBlockEntry(bytes, static_cast<DWORD>(row.block.size()), row.wanted,
                                                 row.checkedThrough, entry),
                  row.found);
        EXPECT_EQ(TextOf(entry), row.text);
    }
}

}  // namespace
