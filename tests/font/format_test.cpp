// The font file format: keys, byte layout, lookup by byte search, and the order check.
#include <gtest/gtest.h>

#include <stdexcept>
#include <tuple>

#include "font_file.h"

namespace qel::fontgen {
namespace {

TEST(FontKeys, AsciiAndGb2312KeysAreFormedFromTheCodes) {
    EXPECT_EQ(asciiKey(65), "JWASCII65");
    EXPECT_EQ(asciiKey(126), "JWASCII126");
    EXPECT_EQ(gbKey(0xB0, 0xA1), "JW161");   // no leading zeros on the column
    EXPECT_EQ(gbKey(0xB0, 0xAA), "JW1610");
    EXPECT_EQ(gbKey(0xF7, 0xFE), "JW8794");
}

TEST(FontEncoding, EntryIsKeyBigEndianLengthAndSignedRecords) {
    const std::string bytes = encodeFontFile({{"JW161", {{1, -2, 700, 0x01020304}}}});
    const std::string expected = std::string("JW161") + std::string("\0\0\0\x10", 4) +
                                 std::string("\0\0\0\x01", 4) + std::string("\xFF\xFF\xFF\xFE", 4) +
                                 std::string("\0\0\x02\xBC", 4) + std::string("\x01\x02\x03\x04", 4);
    EXPECT_EQ(bytes, expected);
}

TEST(FontEncoding, LookupAndWalkReturnWhatWasWritten) {
    const std::vector<Glyph> glyphs = {{"JWASCII65", {{0, 0, 10, 20}, {10, 20, -5, 700}}},
                                       {"JW161", {}},
                                       {"JW1610", {{-100000, 3, 4, 5}}}};
    const std::string bytes = encodeFontFile(glyphs);
    const auto entries = parseFontFile(bytes);
    ASSERT_EQ(entries.size(), glyphs.size());
    EXPECT_EQ(entries[0].keyOffset, 0u);
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
        const auto found = findGlyph(bytes, glyphs[i].key);
        ASSERT_TRUE(found) << glyphs[i].key;
        EXPECT_EQ(std::tie(found->keyOffset, found->segments), std::tie(entries[i].keyOffset, glyphs[i].segments));
        EXPECT_EQ(std::tie(entries[i].key, entries[i].segments), std::tie(glyphs[i].key, glyphs[i].segments));
    }
    EXPECT_FALSE(findGlyph(bytes, "JWASCII66"));
    EXPECT_TRUE(verifyKeyOrder(bytes, glyphs).empty());
}

TEST(FontEncoding, TruncatedOrDamagedFilesAreRefusedNotOverread) {
    const std::string bytes = encodeFontFile({{"JWASCII65", {{1, 2, 3, 4}, {3, 4, 5, 6}}}});
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        const std::string part = bytes.substr(0, cut);
        EXPECT_FALSE(findGlyph(part, "JWASCII65")) << "cut at " << cut;
        if (cut > 0) {
            EXPECT_THROW(parseFontFile(part), std::runtime_error) << "cut at " << cut;
        }
    }
    std::string odd = bytes;
    odd[12] = '\x11';  // length no longer a multiple of 16
    EXPECT_FALSE(findGlyph(odd, "JWASCII65"));
    EXPECT_THROW(parseFontFile(odd), std::runtime_error);
    EXPECT_THROW(parseFontFile("XX161"), std::runtime_error);
    EXPECT_FALSE(findGlyph(bytes, ""));
}

// A key must be the first place its bytes occur: a prefix written after its longer sibling, a key
// spelled by earlier coordinates, or a key written twice is reported.
TEST(FontKeyOrder, KeysNotFoundFirstAtTheirOwnEntryAreReported) {
    const int32_t spell = ('J' << 24) | ('W' << 16) | ('1' << 8) | '7';
    const struct { const char* name; std::vector<Glyph> glyphs; bool reported; } rows[] = {
        {"prefix first", {{"JW161", {{1, 1, 2, 2}}}, {"JW1610", {{3, 3, 4, 4}}}}, false},
        {"prefix after", {{"JW1610", {{3, 3, 4, 4}}}, {"JW161", {{1, 1, 2, 2}}}}, true},
        {"hidden in data", {{"JW161", {{spell, 0, 0, 0}}}, {"JW17", {}}}, true},
        {"twice", {{"JW161", {}}, {"JW161", {}}}, true},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(verifyKeyOrder(encodeFontFile(row.glyphs), row.glyphs).empty(), !row.reported) << row.name;
    }
    const std::vector<Glyph> bad = rows[1].glyphs;
    const auto faults = verifyKeyOrder(encodeFontFile(bad), bad);
    ASSERT_EQ(faults.size(), 1u);
    EXPECT_NE(faults[0].find("JW161 "), std::string::npos);
}

}  // namespace
}  // namespace qel::fontgen
