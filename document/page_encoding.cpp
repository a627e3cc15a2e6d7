#include "document/page_encoding.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <mutex>

#include "document/file_io.h"
#include "document/iconv_converter.h"
#include "document/line_io.h"

namespace quillet::doc {

namespace {
bool isSpace(char c) { return c == 0x09 || c == 0x0A || c == 0x0C || c == 0x0D || c == 0x20; }
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }
bool isLetter(char c) { return lower(c) >= 'a' && lower(c) <= 'z'; }

std::string lowered(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), lower);
    return out;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

// `word` (lower case) at `at`, in any letter case.
bool at(std::string_view d, std::size_t pos, std::string_view word) {
    if (d.size() - pos < word.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (lower(d[pos + i]) != word[i])
            return false;
    return true;
}

// Tags that may stand in a head: any other start tag begins the body, as the HTML parser has it.
bool headTag(std::string_view name) {
    static constexpr std::array<std::string_view, 13> names = {
        "html",  "head",  "base",   "basefont", "bgsound",  "link",    "meta",
        "title", "style", "script", "noscript", "noframes", "template"};
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Elements whose content the tokenizer reads as text up to their end tag.
bool rawTextTag(std::string_view name) {
    return name == "script" || name == "style" || name == "title" || name == "noscript" || name == "noframes";
}

// Bytes scanned ahead of a "<" before it is judged: more than any word the scanner compares.
constexpr std::size_t kLookahead = 16;

// The head scan of the HTML standard's encoding prescan, stopping where the head ends. It works
// on whatever part of the page has been read; when a construct runs past that part and more may
// follow, it says where to start again once more is there.
class HeadScanner {
public:
    struct Step {
        bool done = false;
        EncodingDeclaration found; // when done
        std::size_t resume = 0;    // when not done: the bytes before this are finished with
    };

    Step scan(std::string_view d, std::uint64_t base, bool complete) {
        d_ = d;
        complete_ = complete;
        std::size_t p = 0;
        for (;;) {
            const std::size_t lt = d_.find('<', p);
            if (lt == std::string_view::npos)
                return more(d_.size());
            if (!complete_ && d_.size() - lt < kLookahead)
                return more(lt);
            p = lt;
            const Outcome o = atTag(p);
            if (o == Outcome::Short)
                return more(lt);
            if (o == Outcome::HeadEnded)
                return done({});
            if (o == Outcome::Declared) {
                declaration_.offset = base + lt;
                return done(declaration_);
            }
        }
    }

private:
    enum class Outcome { Next, Short, HeadEnded, Declared };
    enum class Got { Attribute, None, Short };
    struct Attribute {
        std::string name;
        std::string_view value;
    };

    Step more(std::size_t resume) const {
        if (complete_)
            return {true, {}, 0};
        return {false, {}, resume};
    }
    static Step done(EncodingDeclaration found) { return {true, std::move(found), 0}; }

    // Looks at the construct that starts with the "<" at p and moves p past it.
    Outcome atTag(std::size_t& p) {
        if (at(d_, p, "<!--")) {
            const std::size_t close = d_.find("-->", p + 2);
            if (close == std::string_view::npos)
                return Outcome::Short;
            p = close + 3;
            return Outcome::Next;
        }
        if (at(d_, p, "<meta") && p + 5 < d_.size() && (isSpace(d_[p + 5]) || d_[p + 5] == '/'))
            return meta(p);
        const bool endTag = p + 1 < d_.size() && d_[p + 1] == '/';
        const std::size_t nameAt = p + 1 + (endTag ? 1 : 0);
        if (nameAt < d_.size() && isLetter(d_[nameAt]))
            return tag(p, nameAt, endTag);
        if (p + 1 < d_.size() && (d_[p + 1] == '!' || d_[p + 1] == '/' || d_[p + 1] == '?')) {
            const std::size_t close = d_.find('>', p + 2);
            if (close == std::string_view::npos)
                return Outcome::Short;
            p = close + 1;
            return Outcome::Next;
        }
        ++p;
        return Outcome::Next;
    }

    Outcome tag(std::size_t& p, std::size_t nameAt, bool endTag) {
        std::size_t q = nameAt;
        while (q < d_.size() && !isSpace(d_[q]) && d_[q] != '/' && d_[q] != '>')
            ++q;
        const std::string name = lowered(d_.substr(nameAt, q - nameAt));
        Attribute a;
        Got got;
        while ((got = attribute(q, a)) == Got::Attribute) {
        }
        if (got == Got::Short)
            return Outcome::Short;
        if (endTag) {
            if (name == "head" || name == "body" || name == "html" || name == "br")
                return Outcome::HeadEnded;
            p = q + 1;
            return Outcome::Next;
        }
        if (!headTag(name))
            return Outcome::HeadEnded; // "<body", or a tag that opens the body by itself
        p = q + 1;
        if (rawTextTag(name))
            return skipRawText(p, name);
        return Outcome::Next;
    }

    // Moves p to the end tag that closes a raw-text element.
    Outcome skipRawText(std::size_t& p, const std::string& name) {
        for (std::size_t q = d_.find("</", p); q != std::string_view::npos; q = d_.find("</", q + 2)) {
            const std::size_t after = q + 2 + name.size();
            if (after >= d_.size())
                break;
            if (at(d_, q + 2, name) && (isSpace(d_[after]) || d_[after] == '/' || d_[after] == '>')) {
                p = q;
                return Outcome::Next;
            }
        }
        return Outcome::Short;
    }

    Outcome meta(std::size_t& p) {
        std::size_t q = p + 5;
        std::vector<std::string> seen;
        bool gotPragma = false;
        enum class Pragma { Unset, Needed, NotNeeded } needPragma = Pragma::Unset;
        std::optional<std::string> charset;
        Attribute a;
        Got got;
        while ((got = attribute(q, a)) == Got::Attribute) {
            if (std::find(seen.begin(), seen.end(), a.name) != seen.end())
                continue; // a repeated attribute does not count
            seen.push_back(a.name);
            if (a.name == "http-equiv") {
                gotPragma = gotPragma || lowered(a.value) == "content-type";
            } else if (a.name == "content") {
                if (auto c = charsetFromContentType(a.value); c && !charset) {
                    charset = std::string(trimmed(*c));
                    needPragma = Pragma::Needed;
                }
            } else if (a.name == "charset") {
                charset = std::string(trimmed(a.value));
                needPragma = Pragma::NotNeeded;
            }
        }
        if (got == Got::Short)
            return Outcome::Short;
        p = q + 1;
        if (needPragma == Pragma::Unset || (needPragma == Pragma::Needed && !gotPragma) || !charset ||
            charset->empty())
            return Outcome::Next;
        declaration_.label = *charset;
        declaration_.source = needPragma == Pragma::Needed ? DeclarationSource::MetaContentType
                                                           : DeclarationSource::MetaCharset;
        return Outcome::Declared;
    }

    // The standard's "get an attribute": names in lower case, values quoted either way or not at
    // all, blanks around "=". Leaves q at the tag's ">" when there is no further attribute.
    Got attribute(std::size_t& q, Attribute& a) {
        auto end = [&] { return q >= d_.size(); };
        while (!end() && (isSpace(d_[q]) || d_[q] == '/'))
            ++q;
        if (end())
            return Got::Short;
        if (d_[q] == '>')
            return Got::None;
        a.name.clear();
        a.value = {};
        for (;;) { // the name
            if (end())
                return Got::Short;
            const char c = d_[q];
            if (c == '=' && !a.name.empty()) {
                ++q;
                break;
            }
            if (isSpace(c)) {
                while (!end() && isSpace(d_[q]))
                    ++q;
                if (end())
                    return Got::Short;
                if (d_[q] != '=')
                    return Got::Attribute;
                ++q;
                break;
            }
            if (c == '/' || c == '>')
                return Got::Attribute;
            a.name += lower(c);
            ++q;
        }
        while (!end() && isSpace(d_[q]))
            ++q;
        if (end())
            return Got::Short;
        const char first = d_[q];
        if (first == '"' || first == '\'') {
            const std::size_t close = d_.find(first, q + 1);
            if (close == std::string_view::npos)
                return Got::Short;
            a.value = d_.substr(q + 1, close - q - 1);
            q = close + 1;
            return Got::Attribute;
        }
        if (first == '>')
            return Got::Attribute;
        const std::size_t start = q;
        while (!end() && !isSpace(d_[q]) && d_[q] != '>')
            ++q;
        if (end())
            return Got::Short;
        a.value = d_.substr(start, q - start);
        return Got::Attribute;
    }

    std::string_view d_;
    bool complete_ = false;
    EncodingDeclaration declaration_;
};

EncodingDeclaration byteOrderMark(std::string_view d) {
    EncodingDeclaration bom;
    bom.source = DeclarationSource::ByteOrderMark;
    if (d.starts_with("\xEF\xBB\xBF")) {
        bom.bom = ByteOrderMark::Utf8;
        bom.label = "UTF-8";
    } else if (d.starts_with("\xFE\xFF")) {
        bom.bom = ByteOrderMark::Utf16BE;
        bom.label = "UTF-16BE";
    } else if (d.starts_with("\xFF\xFE")) {
        bom.bom = ByteOrderMark::Utf16LE;
        bom.label = "UTF-16LE";
    } else {
        return {};
    }
    return bom;
}
} // namespace

EncodingDeclaration findDeclaration(std::string_view page, std::size_t limit) {
    page = page.substr(0, std::min(page.size(), limit));
    if (auto bom = byteOrderMark(page); bom.bom != ByteOrderMark::None)
        return bom;
    return HeadScanner().scan(page, 0, true).found;
}

EncodingDeclaration findDeclaration(ByteSource& source, std::size_t limit) {
    constexpr std::size_t kChunk = 64 * 1024;
    std::string buf; // the bytes not finished with, from file offset `base` on
    std::uint64_t base = 0;
    std::uint64_t total = 0;
    bool sourceDone = false;
    auto readMore = [&] {
        if (sourceDone || total >= limit)
            return false;
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, limit - total));
        const std::size_t old = buf.size();
        buf.resize(old + want);
        const std::size_t n = source.read(buf.data() + old, want);
        buf.resize(old + n);
        total += n;
        sourceDone = n == 0;
        return n > 0;
    };
    while (buf.size() < 3 && readMore()) {
    }
    if (auto bom = byteOrderMark(buf); bom.bom != ByteOrderMark::None)
        return bom;
    HeadScanner scanner;
    for (;;) {
        const bool complete = sourceDone || total >= limit;
        const HeadScanner::Step step = scanner.scan(buf, base, complete);
        if (step.done)
            return step.found;
        buf.erase(0, step.resume);
        base += step.resume;
        // Scanned again once a chunk's worth has come, however short the reads.
        for (const std::size_t had = buf.size(); buf.size() - had < kChunk && readMore();) {
        }
    }
}

std::optional<std::string> charsetFromContentType(std::string_view s) {
    std::size_t pos = 0;
    for (;;) {
        std::size_t found = std::string_view::npos;
        for (std::size_t i = pos; i + 7 <= s.size(); ++i)
            if (at(s, i, "charset")) {
                found = i;
                break;
            }
        if (found == std::string_view::npos)
            return std::nullopt;
        pos = found + 7;
        while (pos < s.size() && isSpace(s[pos]))
            ++pos;
        if (pos >= s.size() || s[pos] != '=')
            continue;
        ++pos;
        while (pos < s.size() && isSpace(s[pos]))
            ++pos;
        if (pos >= s.size())
            return std::nullopt;
        const char first = s[pos];
        if (first == '"' || first == '\'') {
            const std::size_t close = s.find(first, pos + 1);
            if (close == std::string_view::npos)
                return std::nullopt;
            return std::string(s.substr(pos + 1, close - pos - 1));
        }
        std::size_t end = pos;
        while (end < s.size() && !isSpace(s[end]) && s[end] != ';')
            ++end;
        return std::string(s.substr(pos, end - pos));
    }
}

namespace {
struct Alias {
    std::string_view label, conversion;
};

// Labels whose encoding browsers read as a larger one, or that iconv does not know by that name.
constexpr Alias kAliases[] = {
    {"utf-8", "UTF-8"},
    {"utf8", "UTF-8"},
    {"unicode-1-1-utf-8", "UTF-8"},
    {"unicode11utf8", "UTF-8"},
    {"unicode20utf8", "UTF-8"},
    {"x-unicode20utf8", "UTF-8"},
    {"shift_jis", "CP932"},
    {"shift-jis", "CP932"},
    {"x-sjis", "CP932"},
    {"sjis", "CP932"},
    {"windows-31j", "CP932"},
    {"ms932", "CP932"},
    {"ms_kanji", "CP932"},
    {"csshiftjis", "CP932"},
    {"cp932", "CP932"},
    {"x-ms-cp932", "CP932"},
    {"euc-jp", "EUC-JP-MS"},
    {"eucjp", "EUC-JP-MS"},
    {"x-euc-jp", "EUC-JP-MS"},
    {"cseucpkdfmtjapanese", "EUC-JP-MS"},
    {"windows-1252", "WINDOWS-1252"},
    {"cp1252", "WINDOWS-1252"},
    {"x-cp1252", "WINDOWS-1252"},
    {"iso-8859-1", "WINDOWS-1252"},
    {"iso8859-1", "WINDOWS-1252"},
    {"iso88591", "WINDOWS-1252"},
    {"iso_8859-1", "WINDOWS-1252"},
    {"iso_8859-1:1987", "WINDOWS-1252"},
    {"iso-ir-100", "WINDOWS-1252"},
    {"l1", "WINDOWS-1252"},
    {"latin1", "WINDOWS-1252"},
    {"cp819", "WINDOWS-1252"},
    {"ibm819", "WINDOWS-1252"},
    {"csisolatin1", "WINDOWS-1252"},
    {"us-ascii", "WINDOWS-1252"},
    {"ascii", "WINDOWS-1252"},
    {"ansi_x3.4-1968", "WINDOWS-1252"},
    {"x-user-defined", "WINDOWS-1252"},
    {"iso-8859-9", "WINDOWS-1254"},
    {"iso8859-9", "WINDOWS-1254"},
    {"iso88599", "WINDOWS-1254"},
    {"iso_8859-9", "WINDOWS-1254"},
    {"iso_8859-9:1989", "WINDOWS-1254"},
    {"iso-ir-148", "WINDOWS-1254"},
    {"l5", "WINDOWS-1254"},
    {"latin5", "WINDOWS-1254"},
    {"csisolatin5", "WINDOWS-1254"},
    {"tis-620", "WINDOWS-874"},
    {"iso-8859-11", "WINDOWS-874"},
    {"iso8859-11", "WINDOWS-874"},
    {"iso885911", "WINDOWS-874"},
    {"dos-874", "WINDOWS-874"},
    {"gbk", "GB18030"},
    {"x-gbk", "GB18030"},
    {"gb2312", "GB18030"},
    {"gb_2312", "GB18030"},
    {"gb_2312-80", "GB18030"},
    {"chinese", "GB18030"},
    {"csgb2312", "GB18030"},
    {"csiso58gb231280", "GB18030"},
    {"iso-ir-58", "GB18030"},
    {"big5", "BIG5-HKSCS"},
    {"cn-big5", "BIG5-HKSCS"},
    {"csbig5", "BIG5-HKSCS"},
    {"x-x-big5", "BIG5-HKSCS"},
    {"euc-kr", "CP949"},
    {"cseuckr", "CP949"},
    {"csksc56011987", "CP949"},
    {"iso-ir-149", "CP949"},
    {"korean", "CP949"},
    {"ks_c_5601-1987", "CP949"},
    {"ks_c_5601-1989", "CP949"},
    {"ksc5601", "CP949"},
    {"ksc_5601", "CP949"},
    {"windows-949", "CP949"},
};

constexpr Alias kDisplayNames[] = {
    {"CP932", "Shift-JIS"},
    {"UTF-8", "UTF-8"},
    {"EUC-JP-MS", "EUC-JP"},
    {"WINDOWS-1252", "windows-1252"},
    {"WINDOWS-1254", "windows-1254"},
    {"WINDOWS-874", "windows-874"},
    {"GB18030", "GBK"},
    {"BIG5-HKSCS", "Big5"},
    {"CP949", "EUC-KR"},
};

// Names iconv would read options from ("//TRANSLIT", "//IGNORE") or that are no names at all.
bool plainName(std::string_view name) {
    return !name.empty() && name.size() <= 64 && std::all_of(name.begin(), name.end(), [](char c) {
        return isLetter(c) || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == ':' ||
               c == '(' || c == ')';
    });
}

bool statefulName(std::string_view upper) {
    return upper.find("2022") != std::string_view::npos || upper.starts_with("UTF-7") ||
           upper.starts_with("UTF7") || upper.starts_with("HZ") || upper == "REPLACEMENT";
}

std::optional<RefusalReason> examine(const std::string& conversion) {
    if (statefulName(conversion))
        return RefusalReason::Stateful;
    if (!plainName(conversion) || !IconvConverter::known(conversion, "UTF-8") ||
        !IconvConverter::known("UTF-8", conversion))
        return RefusalReason::Unknown;
    IconvConverter encode(conversion, "UTF-8");
    IconvConverter decode("UTF-8", conversion);
    std::string out;
    if (!encode.convertAll("A", out) || out != "A")
        return out.size() > 1 && out.size() % 2 == 0 ? RefusalReason::Wide
                                                     : RefusalReason::NotAsciiCompatible;
    std::string ascii;
    for (int c = 0; c < 0x80; ++c)
        ascii += static_cast<char>(c);
    auto same = [&](IconvConverter& cv, std::string_view in) {
        std::string o;
        return cv.convertAll(in, o) && o == in;
    };
    for (std::size_t i = 0; i < ascii.size(); ++i)
        if (!same(decode, ascii.substr(i, 1)) || !same(encode, ascii.substr(i, 1)))
            return RefusalReason::NotAsciiCompatible;
    if (!same(decode, ascii) || !same(encode, ascii))
        return RefusalReason::NotAsciiCompatible;
    // A byte that ends a line or delimits a marker or a tag must never be the second byte of a
    // character: after any other byte it is still itself.
    constexpr std::string_view delimiters = "\r\n\x1a<>!-&#;\"'=/ ";
    for (int b = 0x80; b < 0x100; ++b) {
        const std::string lead(1, static_cast<char>(b));
        std::string alone;
        const bool aloneHeld = decode.convertAll(lead, alone);
        for (char delimiter : delimiters) {
            std::string both;
            if (decode.convertAll(lead + delimiter, both) && (!aloneHeld || both != alone + delimiter))
                return RefusalReason::NotAsciiCompatible;
        }
    }
    return std::nullopt;
}

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - ('a' - 'A'));
    return out;
}

const char* reasonText(RefusalReason reason) {
    switch (reason) {
    case RefusalReason::Unknown:
        return "which this system does not know";
    case RefusalReason::Wide:
        return "which takes 16 or 32 bits for every character";
    case RefusalReason::Stateful:
        return "which switches character sets with escape sequences";
    case RefusalReason::NotAsciiCompatible:
        return "in which ASCII bytes do not always stand for themselves";
    }
    return "";
}
} // namespace

std::string conversionName(std::string_view label) {
    const std::string key = lowered(trimmed(label));
    for (const Alias& a : kAliases)
        if (a.label == key)
            return std::string(a.conversion);
    return plainName(key) ? upper(key) : std::string();
}

std::string encodingDisplayName(std::string_view conversion) {
    for (const Alias& a : kDisplayNames)
        if (a.label == conversion)
            return std::string(a.conversion);
    return std::string(conversion);
}

std::optional<RefusalReason> refusalOf(const std::string& conversion) {
    static std::mutex mutex;
    static std::map<std::string, std::optional<RefusalReason>> known;
    std::lock_guard lock(mutex);
    auto [it, isNew] = known.try_emplace(conversion);
    if (isNew)
        it->second = examine(conversion);
    return it->second;
}

EncodingRefusedError::EncodingRefusedError(std::string page, std::string label, RefusalReason reason)
    : std::runtime_error((page.empty() ? std::string() : page + ": ") + "the page's encoding \"" + label +
                         "\" cannot be written, " + reasonText(reason)),
      page_(std::move(page)), label_(std::move(label)), reason_(reason) {}

PageEncoding encodingFor(const EncodingDeclaration& declaration, const std::string& page) {
    if (declaration.source == DeclarationSource::None)
        return {declaration, "CP932", encodingDisplayName("CP932")};
    const std::string conversion = conversionName(declaration.label);
    if (conversion.empty())
        throw EncodingRefusedError(page, declaration.label, RefusalReason::Unknown);
    if (const auto reason = refusalOf(conversion))
        throw EncodingRefusedError(page, declaration.label, *reason);
    return {declaration, conversion, encodingDisplayName(conversion)};
}

PageEncoding pageEncoding(const std::string& pagePath) {
    InputFile file(pagePath);
    PageEncoding encoding = pageEncoding(file, pagePath);
    file.close();
    return encoding;
}

PageEncoding pageEncoding(InputFile& page, const std::string& shownAs) {
    // From the start, by offset: whoever reads the page next reads it from where it was.
    class FromStart : public ByteSource {
    public:
        explicit FromStart(InputFile& file) : file_(file) {}
        std::size_t read(char* buf, std::size_t n) override {
            const std::size_t got = file_.readAt(buf, n, offset_);
            offset_ += got;
            return got;
        }

    private:
        InputFile& file_;
        std::uint64_t offset_ = 0;
    } source(page);
    return encodingFor(findDeclaration(source), shownAs);
}

std::optional<ByteSpan> firstUnreadByBrowsers(std::string_view conversion, std::string_view bytes) {
    if (conversion != "EUC-JP-MS")
        return std::nullopt;
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const unsigned lead = b[i];
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = lead == 0x8F ? 3 : 2;
        bool unread = false;
        if (lead == 0x8F)
            unread = i + 1 < bytes.size() && b[i + 1] >= 0xF3; // IBM kanji and private rows
        else if (lead == 0x8E)
            unread = false;
        else if (lead >= 0xA1 && lead <= 0xFE)
            unread = lead >= 0xF5; // rows 85-94: private use here, IBM kanji or nothing there
        else {
            unread = true; // a C1 byte alone
            length = 1;
        }
        length = std::min(length, bytes.size() - i);
        if (unread)
            return ByteSpan{i, length};
        i += length;
    }
    return std::nullopt;
}

} // namespace quillet::doc
