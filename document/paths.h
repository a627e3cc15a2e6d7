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

// The two work files beside a page.
inline std::string tmpFileOf(std::string_view page) { return changeExtension(page, ".TMP"); }
inline std::string bakFileOf(std::string_view page) { return changeExtension(page, ".BAK"); }

bool isCp932LeadByte(unsigned char c);

} // namespace quillet::doc
