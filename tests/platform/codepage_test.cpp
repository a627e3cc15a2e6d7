#include <gtest/gtest.h>

#include "platform/codepage.h"

using quillet::platform::cp932;

namespace {
std::string ref(char32_t code) { return "&#" + std::to_string(static_cast<std::uint32_t>(code)) + ";"; }
} // namespace

// Page text must come back as the author wrote it: a character whose bytes read back as
// another one goes in as a reference, and everything else keeps its Windows bytes.
TEST(PageCodec, EncodesLosslesslyOrAsReferences) {
    const std::vector<std::pair<QString, std::string>> cases = {
        {QString::fromUtf8("¥100"), "&#165;100"},
        {QString::fromUtf8("‾"), "&#8254;"},
        {QStringLiteral("\\~"), "\\~"},
        {QString::fromUtf8("日記〜"), "\x93\xfa\x8b\x4c\x81\x60"}, // the wave dash as Windows writes it
        {QString::fromUtf8("ｱ¥\xF0\x9F\x98\x80x"), "\xb1&#165;&#128512;x"},
        {QString(), ""},
    };
    for (const auto& [text, bytes] : cases)
        EXPECT_EQ(cp932().encode(text), bytes) << text.toStdString();
}

TEST(PageCodec, EveryCharacterComesBackOrIsAReference) {
    const auto& codec = cp932();
    int references = 0;
    for (char32_t code = 1; code < 0x10000; ++code) {
        if (code >= 0xD800 && code < 0xE000)
            continue;
        const QString ch = QString::fromUcs4(&code, 1);
        const std::string bytes = codec.encode(ch);
        if (bytes == ref(code)) {
            ++references;
            continue;
        }
        const auto back = codec.decode(bytes);
        ASSERT_TRUE(back) << std::hex << static_cast<std::uint32_t>(code);
        // A double-byte JIS character may come back under the code point of another mapping
        // table; a single byte must be the character itself.
        if (*back != ch) {
            EXPECT_EQ(bytes.size(), 2u) << std::hex << static_cast<std::uint32_t>(code);
        }
    }
    EXPECT_GT(references, 40000);
    // Whole texts take the same way as single characters.
    EXPECT_EQ(codec.encode(QString::fromUtf8("a¥b‾c")), "a&#165;b&#8254;c");
}
