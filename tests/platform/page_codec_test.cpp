#include <gtest/gtest.h>

#include <QStringList>

#include "../document/temp_dir.h"
#include "document/entry_rework.h"
#include "document/entry_writer.h"
#include "document/page_encoding.h"
#include "document/page_rewrite.h"
#include "platform/codepage.h"
#include "platform/error_text.h"

using namespace quillet;
using namespace quillet::testing;
using platform::PageCodec;

namespace {
QString u(const char* utf8) { return QString::fromUtf8(utf8); }

std::string ref(char32_t code) { return "&#" + std::to_string(static_cast<std::uint32_t>(code)) + ";"; }
} // namespace

// Each served encoding: what it holds keeps its bytes, what it cannot hold (or what a browser
// would read as another character) becomes a reference.
TEST(PageCodecEncodings, EncodeAndDecodeInEachEncoding) {
    struct Case {
        const char* encoding;
        QString text;
        std::string bytes;
    };
    const Case cases[] = {
        {"UTF-8", u("本文¥ ～ ① 😀 é"), "本文¥ ～ ① 😀 é"},
        {"EUC-JP-MS", u("日記"), "\xC6\xFC\xB5\xAD"},
        {"EUC-JP-MS", u("¥100"), "&#165;100"},        // 0x5C would read back as "\"
        {"EUC-JP-MS", u("～〜"), "\xA1\xC1\xA1\xC1"}, // one JIS character, as browsers read it
        {"EUC-JP-MS", u("①㈱ｱ"), "\xAD\xA1\xAD\xEA\x8E\xB1"},
        {"EUC-JP-MS", u("髙橋"), "&#39641;\xB6\xB6"}, // browsers do not read glibc's 8F F4 FB
        {"EUC-JP-MS", u("😀"), "&#128512;"},
        {"WINDOWS-1252", u("Café € “x”"), "Caf\xE9 \x80 \x93x\x94"},
        {"WINDOWS-1252", u("日本"), "&#26085;&#26412;"},
        {"CP932", u("本文¥〜"), "\x96\x7B\x95\xB6&#165;\x81\x60"},
    };
    for (const Case& c : cases) {
        const PageCodec codec(c.encoding);
        EXPECT_EQ(codec.encode(c.text), c.bytes) << c.encoding << " " << c.text.toStdString();
        EXPECT_EQ(codec.canHold(c.text), c.bytes.find("&#") == std::string::npos) << c.encoding;
    }

    // 0x1A would end the page's text there: page text never holds it, exact text keeps it.
    for (const char* encoding : {"UTF-8", "EUC-JP-MS", "WINDOWS-1252", "CP932"}) {
        const QString text = QString("a") + QChar(0x1A) + "b";
        EXPECT_EQ(PageCodec(encoding).encode(text), "a&#26;b") << encoding;
        EXPECT_EQ(PageCodec(encoding).encodeStrict(text), "a\x1a"
                                                          "b")
            << encoding;
    }

    const PageCodec utf8("UTF-8");
    EXPECT_EQ(utf8.decode("\xE6\x9C\xAC"), u("本"));
    for (const char* invalid : {"\xC3", "\xC0\x80", "\xED\xA0\x80", "a\xFF"})
        EXPECT_FALSE(utf8.decode(invalid)) << invalid;
    EXPECT_EQ(utf8.decodeForDisplay("a\xFF\xE6\x9C\xAC"), u("a\uFFFD本"));

    const PageCodec euc("EUC-JP-MS");
    EXPECT_EQ(euc.decode("\xA1\xC1\xAD\xA1"), u("～①"));
    EXPECT_FALSE(euc.decode("\x8F\xF4\xFB")); // glibc reads 髙, browsers nothing
    EXPECT_FALSE(euc.decode("\xF9\xA1"));     // glibc reads private use, browsers a kanji
    EXPECT_EQ(euc.decodeForDisplay("a\xF9\xA1\xA4\xA2\x8F\xF4\xFB"), u("a\uFFFDあ\uFFFD"));
    EXPECT_EQ(euc.name(), u("EUC-JP"));

    EXPECT_FALSE(PageCodec("WINDOWS-1252").decode("\x81")); // undefined in glibc's table
    EXPECT_EQ(platform::cp932().name(), u("Shift-JIS"));
}

TEST(PageCodecEncodings, EucJpNeverWritesWhatBrowsersReadOtherwise) {
    const PageCodec codec("EUC-JP-MS");
    int held = 0;
    for (char32_t code = 0x80; code < 0x10000; ++code) {
        if (code >= 0xD800 && code < 0xE000)
            continue;
        const QString ch = QString::fromUcs4(&code, 1);
        const std::string bytes = codec.encode(ch);
        if (bytes == ref(code))
            continue;
        ++held;
        const auto hex = static_cast<std::uint32_t>(code);
        ASSERT_FALSE(doc::firstUnreadByBrowsers("EUC-JP-MS", bytes)) << std::hex << hex;
        const auto back = codec.decode(bytes);
        ASSERT_TRUE(back) << std::hex << hex;
        if (*back != ch) { // another code point for the same JIS character
            EXPECT_GE(bytes.size(), 2u) << std::hex << hex;
        }
    }
    EXPECT_GT(held, 12000);
}

// The one way to ask whether text goes out exactly, with the one message for a refusal.
TEST(PageCodecEncodings, StrictEncodingIsExactOrRefused) {
    const auto& cp932 = platform::cp932();
    EXPECT_EQ(cp932.encodeStrict(u("日記〜")), "\x93\xfa\x8b\x4c\x81\x60");
    EXPECT_FALSE(cp932.encodeStrict(u("1,000¥"))); // 0x5C would come back as "\"
    EXPECT_FALSE(cp932.encodeStrict(u("😀")));
    EXPECT_TRUE(cp932.canHold(u("\\~ｱ")));
    EXPECT_EQ(cp932.encodeExactly(u("pass"), u("パスワード")), "pass");
    try {
        cp932.encodeExactly(u("¥"), u("パスワード"));
        ADD_FAILURE() << "no refusal";
    } catch (const platform::TextNotHeldError& e) {
        EXPECT_EQ(platform::exceptionMessage(std::current_exception()),
                  u("「パスワード」に Shift-JIS で表せない文字があります"));
    }
    EXPECT_EQ(PageCodec("UTF-8").encodeStrict(u("¥😀")), "¥😀");
}

TEST(PageCodecEncodings, RefusedEncodingsSayWhy) {
    EXPECT_THROW(PageCodec("UTF-16"), doc::EncodingRefusedError);
    EXPECT_THROW(PageCodec("ISO-2022-JP"), doc::EncodingRefusedError);
    EXPECT_THROW(PageCodec("X-NO-SUCH"), doc::EncodingRefusedError);

    TempDir dir;
    const std::string page = dir.file("日記.html");
    writeFile(page, "<meta charset=iso-2022-jp>");
    try {
        doc::pageEncoding(page);
        ADD_FAILURE() << "no refusal";
    } catch (const doc::EncodingRefusedError&) {
        const QString message = platform::exceptionMessage(std::current_exception());
        EXPECT_TRUE(message.startsWith(u("文書「") + QString::fromStdString(page) +
                                       u("」の文字コード「iso-2022-jp」"
                                         "には書き込めません。\r")))
            << message.toStdString();
        EXPECT_TRUE(message.contains(u("エスケープシーケンス"))) << message.toStdString();
        EXPECT_TRUE(message.endsWith(u("文書は変更していません")));
    }
}

namespace {
// A page in some encoding with one older entry, and what Save, Edit-last, Delete-last and
// Replace all make of it, byte for byte.
struct PageCase {
    const char* what;
    std::string head; // through the marker line, every line ending in CR LF
    QString title;
    QStringList body;
    std::string titleBytes;
    std::vector<std::string> bodyBytes;
    QString recalledTitle; // what Edit-last gives back
    const char* conversion;
};

const std::string kOlder = "<!-BDY-A-!>\r\nolder\r\n<!-BDY-B-!><HR>\r\n<!-END-!>\r\n";
const std::string kTail = "</body>\r\n</html>\r\n";

std::string head(const std::string& bom, const std::string& declaration) {
    return bom + "<html>\r\n<head>\r\n" + declaration +
           "\r\n<title>t</title>\r\n</head>\r\n<body>\r\n<!-INS-!>\r\n";
}

std::vector<PageCase> pageCases() {
    const QString jaTitle = u("日記¥");
    const QStringList jaBody = {u("本文 ～ ①"), u("髙橋 😀 ｱ")};
    const std::vector<std::string> utf8Body = {"本文 ～ ①", "髙橋 😀 ｱ"};
    return {
        {"UTF-8", head("", "<meta charset=\"utf-8\">"), jaTitle, jaBody, "日記¥", utf8Body, jaTitle, "UTF-8"},
        {"UTF-8 with a byte-order mark",
         head("\xEF\xBB\xBF", "<meta name=viewport content=width=device-width>"), jaTitle, jaBody, "日記¥",
         utf8Body, jaTitle, "UTF-8"},
        {"EUC-JP",
         head("", "<META http-equiv=\"Content-Type\" content=\"text/html; charset=EUC-JP\">"),
         jaTitle,
         jaBody,
         "\xC6\xFC\xB5\xAD&#165;",
         {"\xCB\xDC\xCA\xB8 \xA1\xC1 \xAD\xA1", "&#39641;\xB6\xB6 &#128512; \x8E\xB1"},
         u("日記&#165;"),
         "EUC-JP-MS"},
        {"windows-1252 declared as Latin-1",
         head("", "<meta charset='ISO-8859-1'>"),
         u("Café ¥"),
         {u("naïve € 日本"), u("“quoted”")},
         "Caf\xE9 \xA5",
         {"na\xEFve \x80 &#26085;&#26412;", "\x93quoted\x94"},
         u("Café ¥"),
         "WINDOWS-1252"},
        {"Shift-JIS template page",
         head("", "<META http-equiv=\"Content-Type\" content=\"text/html; charset=x-sjis\">"),
         jaTitle,
         {u("本文 ～ ①")},
         "\x93\xFA\x8B\x4C&#165;",
         {"\x96\x7B\x95\xB6 \x81\x60 \x87\x40"},
         u("日記&#165;"),
         "CP932"},
        {"page without a declaration",
         head("", "<!-- made by hand -->"),
         u("本文"),
         {u("本文")},
         "\x96\x7B\x95\xB6",
         {"\x96\x7B\x95\xB6"},
         u("本文"),
         "CP932"},
    };
}

std::string entryBytes(const std::string& title, const std::vector<std::string>& body) {
    std::string bytes = "<!-TTL-A-!>\r\r\r" + title + "\r<BR>\r<!-TTL-B-!>\r\n<!-BDY-A-!>\r\n";
    for (const auto& line : body)
        bytes += line + "\r\n";
    return bytes + "<!-BDY-B-!><HR>\r<!-END-!>\r\n";
}

doc::Entry entryOf(const PageCodec& codec, const QString& title, const QStringList& body) {
    doc::Entry e;
    e.title = codec.encode(title);
    for (const QString& line : body)
        e.body.push_back(codec.encode(line));
    return e;
}
} // namespace

TEST(PageCodecEncodings, RewritesAreByteExactInEveryEncoding) {
    for (const PageCase& c : pageCases()) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string page = dir.file("index.html");
        const std::string original = c.head + kOlder + kTail;
        writeFile(page, original);

        const doc::PageEncoding encoding = doc::pageEncoding(page);
        ASSERT_EQ(encoding.conversion, c.conversion);
        const PageCodec codec(encoding.conversion);

        // Save: the head (byte-order mark included) stays, the entry is in the page's encoding.
        ASSERT_EQ(doc::writeEntry(page, entryOf(codec, c.title, c.body), doc::SaveMode::Insert),
                  doc::WriteOutcome::Written);
        const std::string saved = c.head + entryBytes(c.titleBytes, c.bodyBytes) + kOlder + kTail;
        ASSERT_EQ(readFile(page), saved);

        // Edit-last takes the entry back as the author wrote it (references stay references)...
        QString title;
        QStringList body;
        {
            doc::PageRewrite rewrite(page);
            ASSERT_TRUE(rewrite.CopyThroughMarker());
            const doc::RecalledEntry entry = doc::readNewestEntry(rewrite);
            ASSERT_TRUE(entry.endFound);
            const auto decodedTitle = codec.decode(doc::decodeTitle(entry.titleRecord).title);
            ASSERT_TRUE(decodedTitle);
            title = *decodedTitle;
            for (const auto& line : entry.body) {
                const auto decoded = codec.decode(line);
                ASSERT_TRUE(decoded) << line;
                body << *decoded;
            }
            rewrite.CopyRest();
            rewrite.commit();
        }
        EXPECT_EQ(title, c.recalledTitle);
        EXPECT_EQ(readFile(page), original);
        // ... and saving it again gives the same bytes.
        ASSERT_EQ(doc::writeEntry(page, entryOf(codec, title, body), doc::SaveMode::Insert),
                  doc::WriteOutcome::Written);
        EXPECT_EQ(readFile(page), saved);

        EXPECT_EQ(doc::deleteNewestEntry(page), doc::ReworkOutcome::Done);
        EXPECT_EQ(readFile(page), original);

        QStringList closing = c.body;
        closing << u("</BODY></HTML>");
        std::vector<std::string> closingBytes = c.bodyBytes;
        closingBytes.push_back("</BODY></HTML>");
        ASSERT_EQ(doc::writeEntry(page, entryOf(codec, c.title, closing), doc::SaveMode::ReplaceAll),
                  doc::WriteOutcome::Written);
        EXPECT_EQ(readFile(page), c.head + entryBytes(c.titleBytes, closingBytes));
        // The page still says the same encoding.
        EXPECT_EQ(doc::pageEncoding(page).conversion, c.conversion);
    }
}
