#include <gtest/gtest.h>

#include <algorithm>

#include "document/insertion_list.h"
#include "document/line_io.h"
#include "document/markers.h"
#include "document/page_encoding.h"
#include "document/page_format.h"
#include "document/page_open.h"
#include "temp_dir.h"

using namespace quillet::doc;
using namespace quillet::testing;

namespace {
// Hands the page out a few bytes at a time, as a slow file might: the scan must not depend on
// where reads end.
class DribbleSource : public ByteSource {
public:
    DribbleSource(std::string data, std::size_t step) : data_(std::move(data)), step_(step) {}
    std::size_t read(char* buf, std::size_t n) override {
        const std::size_t count = std::min({n, step_, data_.size() - pos_});
        std::copy_n(data_.data() + pos_, count, buf);
        pos_ += count;
        return count;
    }

private:
    std::string data_;
    std::size_t step_, pos_ = 0;
};

struct Case {
    const char* what;
    std::string page;
    std::string label; // empty: nothing declared
    DeclarationSource source;
};

const std::string kTemplateHead =
    "<HTML>\r<HEAD>\r<META http-equiv=\"Content-Type\" content=\"text/html; charset=x-sjis\">\r\n"
    "<TITLE></TITLE>\r</HEAD>\r\n<BODY BGCOLOR=\"#008080\">\r\n<BR>\r<!-INS-!>\r</BODY>\r</HTML>\r\n";

std::vector<Case> declarationCases() {
    using S = DeclarationSource;
    return {
        {"meta charset, double quotes", "<html><head><meta charset=\"utf-8\"></head>", "utf-8",
         S::MetaCharset},
        {"single quotes", "<head><meta charset='euc-jp'>", "euc-jp", S::MetaCharset},
        {"unquoted, upper case", "<HTML><HEAD><META CHARSET=UTF-8></HEAD>", "UTF-8", S::MetaCharset},
        {"blanks around =, self-closing", "<meta  charset = \" utf-8 \" />", "utf-8", S::MetaCharset},
        {"slash before the attribute", "<meta/charset=utf-8>", "utf-8", S::MetaCharset},
        {"the template's http-equiv", kTemplateHead, "x-sjis", S::MetaContentType},
        {"content before http-equiv",
         "<meta content=\"text/html;charset=windows-1252\" http-equiv=\"content-type\">", "windows-1252",
         S::MetaContentType},
        {"http-equiv in capitals, unquoted",
         "<META HTTP-EQUIV=Content-Type CONTENT='text/html; CHARSET=EUC-JP'>", "EUC-JP", S::MetaContentType},
        {"quoted charset inside content",
         "<meta http-equiv=content-type content='text/html; charset=\"utf-8\"'>", "utf-8",
         S::MetaContentType},
        {"content without http-equiv is no declaration", "<meta content=\"text/html; charset=utf-8\">", "",
         S::None},
        {"another http-equiv is no declaration",
         "<meta http-equiv=refresh content=\"5; charset=utf-8\"><meta charset=euc-jp>", "euc-jp",
         S::MetaCharset},
        {"charset wins over content in one tag",
         "<meta http-equiv=content-type content=\"text/html; charset=euc-jp\" charset=utf-8>", "utf-8",
         S::MetaCharset},
        {"a repeated attribute does not count", "<meta charset=utf-8 charset=euc-jp>", "utf-8",
         S::MetaCharset},
        {"an empty charset is skipped", "<meta charset=\"\"><meta charset=euc-jp>", "euc-jp", S::MetaCharset},
        {"two declarations: the first wins", "<head><meta charset=euc-jp><meta charset=utf-8></head>",
         "euc-jp", S::MetaCharset},
        {"http-equiv first, then charset",
         "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=shift_jis\"><meta charset=utf-8>",
         "shift_jis", S::MetaContentType},
        {"in a comment", "<head><!-- <meta charset=utf-8> --><meta charset=euc-jp>", "euc-jp",
         S::MetaCharset},
        {"in a conditional comment", "<head><!--[if IE]><meta charset=utf-16><![endif]--></head>", "",
         S::None},
        {"the shortest comment", "<!--><meta charset=utf-8>", "utf-8", S::MetaCharset},
        {"in a script", "<head><script>document.write('<meta charset=utf-8>')</script></head>", "", S::None},
        {"after a script", "<script>if (a</b) x()</script ><meta charset=utf-8>", "utf-8", S::MetaCharset},
        {"a script not closed by </scripts>", "<script>x='</scripts><meta charset=utf-8>'</script>", "",
         S::None},
        {"in a title", "<title><meta charset=utf-8></title><meta charset=euc-jp>", "euc-jp", S::MetaCharset},
        {"in a style", "<style>/* <meta charset=utf-8> */</style>", "", S::None},
        {"in the body", "<html><head><title>x</title></head><body><meta charset=utf-8>", "", S::None},
        {"after </HEAD>", "<HEAD></HEAD><META CHARSET=UTF-8>", "", S::None},
        {"after <BODY", "<BODY BGCOLOR=\"#008080\"><meta charset=utf-8>", "", S::None},
        {"head-less page", "<!DOCTYPE html>\n<html lang=ja>\n<meta charset=utf-8>\n<title>t</title>", "utf-8",
         S::MetaCharset},
        {"head-less page, body content first", "<html><p>text<meta charset=utf-8>", "", S::None},
        {"markers and processing instructions pass", "<?xml version=\"1.0\"?><!-INS-!><meta charset=utf-8>",
         "utf-8", S::MetaCharset},
        {"<metadata> is not <meta, and no head tag", "<metadata charset=utf-8><meta charset=euc-jp>", "",
         S::None},
        {"in an attribute value", "<link rel=\"<meta charset=utf-8>\"><meta charset=euc-jp>", "euc-jp",
         S::MetaCharset},
        {"a page of text", "no markup at all", "", S::None},
        {"an empty page", "", "", S::None},
        {"a tag cut short", "<meta charset=\"utf-8", "", S::None},
        {"BOM UTF-8 wins over meta", "\xEF\xBB\xBF<meta charset=euc-jp>", "UTF-8", S::ByteOrderMark},
        {"BOM UTF-16LE", std::string("\xFF\xFE<\0h\0", 6), "UTF-16LE", S::ByteOrderMark},
        {"BOM UTF-16BE", std::string("\xFE\xFF\0<\0h", 6), "UTF-16BE", S::ByteOrderMark},
    };
}
} // namespace

TEST(PageEncoding, DeclarationsInEveryForm) {
    for (const Case& c : declarationCases()) {
        const EncodingDeclaration whole = findDeclaration(c.page);
        EXPECT_EQ(whole.label, c.label) << c.what;
        EXPECT_EQ(whole.source, c.source) << c.what;
        // Streamed in pieces of any size, the answer is the same.
        for (std::size_t step : {1, 2, 5, 17}) {
            DribbleSource source(c.page, step);
            const EncodingDeclaration streamed = findDeclaration(source);
            EXPECT_EQ(streamed.label, whole.label) << c.what << ", read " << step << " at a time";
            EXPECT_EQ(streamed.offset, whole.offset) << c.what << ", read " << step << " at a time";
        }
    }
}

TEST(PageEncoding, WhereTheDeclarationIsAndWhatItSays) {
    const EncodingDeclaration d = findDeclaration("<html>\r\n<head>\r\n<META charset=utf-8>");
    EXPECT_EQ(d.offset, 16u);
    EXPECT_EQ(d.bom, ByteOrderMark::None);
    const EncodingDeclaration bom = findDeclaration("\xEF\xBB\xBF<p>");
    EXPECT_EQ(bom.bom, ByteOrderMark::Utf8);
    EXPECT_EQ(bom.offset, 0u);
    EXPECT_EQ(findDeclaration(std::string("\xFF\xFE\0\0", 4)).bom, ByteOrderMark::Utf16LE);
}

TEST(PageEncoding, LongHeadsAreReadAsFarAsTheyGoAndNoFurther) {
    // A long comment and a long script before the declaration, across many reads.
    const std::string page = "<html><head><!--" + std::string(200000, '-') + "--><script>" +
                             std::string(150000, 'x') + "</script><meta charset=utf-8></head>";
    DribbleSource source(page, 4096);
    EXPECT_EQ(findDeclaration(source).label, "utf-8");
    // Past the limit nothing counts, in one piece or streamed.
    EXPECT_EQ(findDeclaration(page, 100000).source, DeclarationSource::None);
    DribbleSource limited(page, 4096);
    EXPECT_EQ(findDeclaration(limited, 100000).source, DeclarationSource::None);
    // The scan stops at the end of the head: the body is never read.
    class Counting : public StringSource {
    public:
        using StringSource::StringSource;
        std::size_t read(char* buf, std::size_t n) override {
            const std::size_t got = StringSource::read(buf, std::min<std::size_t>(n, 1024));
            total += got;
            return got;
        }
        std::size_t total = 0;
    } counting("<head><title>t</title></head><body>" + std::string(1 << 20, 'x'));
    EXPECT_EQ(findDeclaration(counting).source, DeclarationSource::None);
    EXPECT_LE(counting.total, 1024u);
}

TEST(PageEncoding, CharsetInContentType) {
    EXPECT_EQ(charsetFromContentType("text/html; charset=utf-8"), "utf-8");
    EXPECT_EQ(charsetFromContentType("text/html;CHARSET = 'euc-jp' ; x"), "euc-jp");
    EXPECT_EQ(charsetFromContentType("text/html; charset=x-sjis;q=1"), "x-sjis");
    EXPECT_EQ(charsetFromContentType("charsetx; charset=utf-8"), "utf-8");
    EXPECT_EQ(charsetFromContentType("text/html; charset=\"utf-8"), std::nullopt);
    EXPECT_EQ(charsetFromContentType("text/html"), std::nullopt);
    EXPECT_EQ(charsetFromContentType("charset="), std::nullopt);
}

TEST(PageEncoding, LabelsMapToWhatBrowsersRead) {
    for (const char* label : {"shift_jis", "Shift_JIS", "x-sjis", "sjis", "windows-31j", "ms_kanji",
                              "csshiftjis", "shift-jis", "ms932"})
        EXPECT_EQ(conversionName(label), "CP932") << label;
    for (const char* label :
         {"iso-8859-1", "ISO-8859-1", "latin1", "us-ascii", "ascii", "windows-1252", "l1"})
        EXPECT_EQ(conversionName(label), "WINDOWS-1252") << label;
    for (const char* label : {"utf-8", "UTF8", " utf-8 "})
        EXPECT_EQ(conversionName(label), "UTF-8") << label;
    EXPECT_EQ(conversionName("euc-jp"), "EUC-JP-MS");
    EXPECT_EQ(conversionName("gb2312"), "GB18030");
    EXPECT_EQ(conversionName("euc-kr"), "CP949");
    EXPECT_EQ(conversionName("iso-8859-2"), "ISO-8859-2");
    EXPECT_EQ(conversionName("koi8-r"), "KOI8-R");
    // Nothing iconv would read options from, and nothing that is no name.
    EXPECT_EQ(conversionName("utf-8//TRANSLIT"), "");
    EXPECT_EQ(conversionName("ascii,x"), "");
    EXPECT_EQ(conversionName(""), "");

    EXPECT_EQ(encodingDisplayName("CP932"), "Shift-JIS");
    EXPECT_EQ(encodingDisplayName("EUC-JP-MS"), "EUC-JP");
    EXPECT_EQ(encodingDisplayName("ISO-8859-2"), "ISO-8859-2");
}

TEST(PageEncoding, OnlyEncodingsThatKeepAsciiAreServed) {
    for (const char* served : {"UTF-8", "CP932", "EUC-JP-MS", "WINDOWS-1252", "ISO-8859-15", "KOI8-R",
                               "GB18030", "CP949", "BIG5-HKSCS"})
        EXPECT_EQ(refusalOf(served), std::nullopt) << served;
    const std::pair<const char*, RefusalReason> refused[] = {
        {"UTF-16", RefusalReason::Wide},
        {"UTF-16LE", RefusalReason::Wide},
        {"UTF-16BE", RefusalReason::Wide},
        {"UTF-32", RefusalReason::Wide},
        {"UCS-2", RefusalReason::Wide},
        {"ISO-2022-JP", RefusalReason::Stateful},
        {"ISO-2022-KR", RefusalReason::Stateful},
        {"UTF-7", RefusalReason::Stateful},
        {"HZ-GB-2312", RefusalReason::Stateful},
        {"X-NO-SUCH-ENCODING", RefusalReason::Unknown},
        {"UTF-8//IGNORE", RefusalReason::Unknown},
        {"IBM037", RefusalReason::NotAsciiCompatible},    // EBCDIC
        {"SHIFT_JIS", RefusalReason::NotAsciiCompatible}, // glibc reads 0x5C as the yen sign
        {"JOHAB", RefusalReason::NotAsciiCompatible},     // "<" can be a second byte
    };
    for (const auto& [name, reason] : refused)
        EXPECT_EQ(refusalOf(name), reason) << name;
}

TEST(PageEncoding, APageSaysHowItIsConverted) {
    TempDir dir;
    const std::string page = dir.file("index.html");
    auto encodingOf = [&](const std::string& bytes) {
        writeFile(page, bytes);
        return pageEncoding(page);
    };
    // Every page made so far: the template, and pages without a declaration.
    EXPECT_EQ(encodingOf(kTemplateHead).conversion, "CP932");
    const PageEncoding undeclared = encodingOf("<HTML><BODY>\r\n<!-INS-!>\r\n</BODY></HTML>\r\n");
    EXPECT_EQ(undeclared.conversion, "CP932");
    EXPECT_EQ(undeclared.name, "Shift-JIS");
    EXPECT_EQ(undeclared.declaration.source, DeclarationSource::None);

    const PageEncoding utf8 = encodingOf("\xEF\xBB\xBF<html><head><meta charset=utf-8>");
    EXPECT_EQ(utf8.conversion, "UTF-8");
    EXPECT_EQ(utf8.declaration.bom, ByteOrderMark::Utf8);
    EXPECT_EQ(encodingOf("<meta charset=\"EUC-JP\">").name, "EUC-JP");
    EXPECT_EQ(encodingOf("<meta charset=latin1>").conversion, "WINDOWS-1252");

    auto refusal = [&](const std::string& bytes) -> std::optional<RefusalReason> {
        writeFile(page, bytes);
        try {
            pageEncoding(page);
        } catch (const EncodingRefusedError& e) {
            EXPECT_EQ(e.page(), page);
            EXPECT_NE(std::string(e.what()).find(page), std::string::npos);
            EXPECT_EQ(readFile(page), bytes); // nothing written
            return e.reason();
        }
        return std::nullopt;
    };
    EXPECT_EQ(refusal(std::string("\xFF\xFE<\0!\0", 6)), RefusalReason::Wide);
    EXPECT_EQ(refusal(std::string("\xFE\xFF\0<\0!", 6)), RefusalReason::Wide);
    EXPECT_EQ(refusal("<meta charset=utf-16>"), RefusalReason::Wide);
    EXPECT_EQ(refusal("<meta http-equiv=Content-Type content='text/html; charset=iso-2022-jp'>"),
              RefusalReason::Stateful);
    EXPECT_EQ(refusal("<meta charset=utf-7>"), RefusalReason::Stateful);
    EXPECT_EQ(refusal("<meta charset=x-klingon>"), RefusalReason::Unknown);
    EXPECT_EQ(refusal("<meta charset=\"utf-8//TRANSLIT\">"), RefusalReason::Unknown);
    EXPECT_THROW(pageEncoding(dir.file("missing.html")), FileError);
}

TEST(PageEncoding, EucJpBytesBrowsersReadOtherwise) {
    const std::string euc = "EUC-JP-MS";
    // ASCII, JIS X 0208 and its NEC row 13, half-width kana, JIS X 0212.
    EXPECT_FALSE(firstUnreadByBrowsers(euc, "a\xA4\xA2\xAD\xA1\x8E\xB1\x8F\xB0\xA1"));
    // IBM kanji as JIS X 0212 rows 83-84, and private rows 85-94.
    const auto ibm = firstUnreadByBrowsers(euc, "ab\xA4\xA2\x8F\xF4\xFB");
    ASSERT_TRUE(ibm);
    EXPECT_EQ(ibm->offset, 4u);
    EXPECT_EQ(ibm->length, 3u);
    const auto priv = firstUnreadByBrowsers(euc, "\xF9\xA1x");
    ASSERT_TRUE(priv);
    EXPECT_EQ(priv->offset, 0u);
    EXPECT_EQ(priv->length, 2u);
    const auto c1 = firstUnreadByBrowsers(euc, "a\x80");
    ASSERT_TRUE(c1);
    EXPECT_EQ(c1->length, 1u);
    // Other encodings: glibc is the browsers' reading.
    EXPECT_FALSE(firstUnreadByBrowsers("CP932", "\xF9\xA1\x80"));
}

TEST(PageEncoding, NewUtf8PageDiffersFromTheShiftJisOneOnlyInItsCharset) {
    const auto sjis = newPageTemplate(PageColors{});
    const auto utf8 = newPageTemplate(PageColors{}, NewPageCharset::Utf8);
    ASSERT_EQ(sjis.size(), utf8.size());
    EXPECT_EQ(utf8[0],
              "<HTML>\r<HEAD>\r<META http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">");
    for (std::size_t i = 1; i < sjis.size(); ++i)
        EXPECT_EQ(utf8[i], sjis[i]);

    TempDir dir;
    const std::string page = dir.file("new.html");
    createNewPage(page, PageColors{}, NewPageCharset::Utf8);
    const PageEncoding e = pageEncoding(page);
    EXPECT_EQ(e.conversion, "UTF-8");
    EXPECT_EQ(e.declaration.source, DeclarationSource::MetaContentType);
    EXPECT_EQ(readFile(page).substr(0, 6), "<HTML>"); // no byte-order mark
    const std::string old = dir.file("old.html");
    createNewPage(old, PageColors{});
    EXPECT_EQ(pageEncoding(old).conversion, "CP932");
}

// A UTF-8 page's byte-order mark is part of its first line: the markers are found as before and
// the list of the insertion-point dialog writes the mark back where it was.
TEST(PageEncoding, ByteOrderMarkStaysWithTheFirstLine) {
    const std::string bom = "\xEF\xBB\xBF";
    const std::string page =
        bom + "<html>\r\n<head><meta charset=utf-8></head>\r\n<body>\r\n<!-INS-!>\r\n</body>\r\n";
    const auto lines = splitLines(page);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], bom + "<html>");
    EXPECT_TRUE(marker::Insertion(lines[3]));

    TempDir dir;
    const std::string path = dir.file("bom.html");
    writeFile(path, page);
    EXPECT_TRUE(pageHasInsertionLine(path));
    writeFile(path, bom + "<html>\r\n<body>\r\n</body>\r\n");
    InsertionList list = loadInsertionList(path);
    EXPECT_EQ(list.row(0, 100).bytes, bom + "<html>");
    list.toggle(1);
    ASSERT_EQ(saveInsertionList(path, list), SaveListOutcome::Saved);
    EXPECT_EQ(readFile(path), bom + "<html>\r\n<body>\r\n<!-INS-!>\r\n</body>\r\n");
    EXPECT_EQ(pageEncoding(path).declaration.bom, ByteOrderMark::Utf8);
}
