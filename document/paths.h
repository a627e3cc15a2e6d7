#pragma once
// Taking a path apart. On this platform only "/" separates; the Windows rule ("\", ":" and "/",
// with the second byte of a CP932 double-byte character never taken for a "\") is kept beside
// it for names that come from that world.

#include <cstddef>
#include <string>
#include <string_view>

namespace quillet::doc {

enum class PathStyle { Posix, Windows };

// Index just after the last separator (0 when there is none).
std::size_t nameStart(std::string_view path, PathStyle style = PathStyle::Posix);
// The folder part, up to and including the last separator.
std::string folderOf(std::string_view path, PathStyle style = PathStyle::Posix);
// The part after the last separator.
std::string fileNameOf(std::string_view path, PathStyle style = PathStyle::Posix);
// The path with its extension (from the last "." after the last separator) replaced by ext;
// a name without one gets ext appended.
std::string changeExtension(std::string_view path, std::string_view ext, PathStyle style = PathStyle::Posix);

// The longest file name a folder takes here.
inline constexpr std::size_t kNameMax = 255;

// A work file beside a page: the page's path with its extension replaced by ext. Where that name
// would be longer than kNameMax, the stem is cut (never inside a UTF-8 character) and a "~" and
// eight hexadecimal digits of a hash of the page's whole name are put before ext, so that every
// name the file system accepts has work files, and two long names never share them.
std::string workFileOf(std::string_view page, std::string_view ext);

// The two work files beside a page.
inline std::string tmpFileOf(std::string_view page) { return workFileOf(page, ".TMP"); }
inline std::string bakFileOf(std::string_view page) { return workFileOf(page, ".BAK"); }

bool isCp932LeadByte(unsigned char c);

} // namespace quillet::doc
