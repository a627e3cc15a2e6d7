#pragma once
// What a page says about its own encoding, and whether Quillet can write into it. The page's head
// is read the way a browser reads it before parsing: a byte-order mark, else the first
// `<meta charset>` or `<meta http-equiv="Content-Type" content="...; charset=...">` of the head.
// A page that declares nothing is CP932, like every page Quillet has made. Only encodings in which
// every ASCII byte stands for itself are served: the markers, the line ends and the tags Quillet
// looks for are ASCII bytes, and must mean that wherever they occur.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quillet::doc {

class ByteSource;
class InputFile;

enum class ByteOrderMark { None, Utf8, Utf16LE, Utf16BE };
enum class DeclarationSource { None, ByteOrderMark, MetaCharset, MetaContentType };

struct EncodingDeclaration {
    std::string label; // as the page writes it, without surrounding blanks; empty for none
    DeclarationSource source = DeclarationSource::None;
    ByteOrderMark bom = ByteOrderMark::None;
    std::uint64_t offset = 0; // where the mark or the META tag starts in the file
};

// How far into a page its head is looked for. Heads are a few kilobytes; a page whose head has
// not ended by here is taken as declaring nothing.
inline constexpr std::size_t kHeadScanLimit = 1u << 20;

// Reads from the source only as far as the head goes (its end is "</head>", "<body" or the first
// tag that cannot stand in a head), at most `limit` bytes. Comments are skipped, and so is the
// text of script, style, title and the like, as the HTML tokenizer does: a declaration there is
// not one. The first declaration wins.
EncodingDeclaration findDeclaration(ByteSource& source, std::size_t limit = kHeadScanLimit);
EncodingDeclaration findDeclaration(std::string_view page, std::size_t limit = kHeadScanLimit);

// The charset in a Content-Type value ("text/html; charset=utf-8"), as browsers extract it.
std::optional<std::string> charsetFromContentType(std::string_view content);

// The iconv name a label is converted with, as browsers read it: every Shift_JIS label is CP932
// (glibc's SHIFT_JIS reads 0x5C as "¥"), Latin-1 and ASCII are windows-1252, EUC-JP is
// EUC-JP-MS (the mapping browsers use), and so on. Any other label is passed on as it is, in
// upper case; empty when it is no name iconv could be asked for.
std::string conversionName(std::string_view label);
// The name the author knows the encoding by: "Shift-JIS", "UTF-8", "EUC-JP", ...
std::string encodingDisplayName(std::string_view conversion);

enum class RefusalReason {
    Unknown,            // iconv knows no such encoding
    Wide,               // 16 or 32 bits for every character (UTF-16, UTF-32)
    Stateful,           // escape sequences switch the character set (ISO-2022-*, UTF-7, HZ)
    NotAsciiCompatible, // some ASCII byte would stand for something else
};

// Why the encoding cannot be served, or nothing when it can: decided by converting, and
// remembered per name. An encoding is served when each byte 0x00-0x7F decodes to itself, alone
// and in a run, every ASCII character encodes to itself, and none of the bytes that delimit
// lines, markers and tags can be the second byte of a character.
std::optional<RefusalReason> refusalOf(const std::string& conversion);

class EncodingRefusedError : public std::runtime_error {
public:
    EncodingRefusedError(std::string page, std::string label, RefusalReason reason);
    const std::string& page() const { return page_; }
    const std::string& label() const { return label_; }
    RefusalReason reason() const { return reason_; }

private:
    std::string page_, label_;
    RefusalReason reason_;
};

// A page's encoding as every command converts with it.
struct PageEncoding {
    EncodingDeclaration declaration;
    std::string conversion; // the iconv name
    std::string name;       // for the author
};

// The encoding a declaration asks for; throws EncodingRefusedError (naming `page`) when it
// cannot be served.
PageEncoding encodingFor(const EncodingDeclaration& declaration, const std::string& page = {});
// Reads the page's head. Throws FileError when the page cannot be read, EncodingRefusedError
// when its encoding cannot be served; a page that declares nothing is CP932.
PageEncoding pageEncoding(const std::string& pagePath);
// The same for a page that is open: read from its start, without moving where reading goes on.
// `shownAs` names the page in the refusal.
PageEncoding pageEncoding(InputFile& page, const std::string& shownAs);

// Bytes that glibc reads as one character and browsers as another or as none: in EUC-JP, the
// rows EUC-JP-MS gives to private use and to IBM's kanji in JIS X 0212, and lone bytes
// 0x80-0xA0. Returns the offset and length of the first such sequence, or nothing.
struct ByteSpan {
    std::size_t offset, length;
};
std::optional<ByteSpan> firstUnreadByBrowsers(std::string_view conversion, std::string_view bytes);

} // namespace quillet::doc
