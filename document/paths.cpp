#include "document/paths.h"

#include <cstdint>
#include <cstdio>

namespace quillet::doc {

bool isCp932LeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

namespace {
bool isSeparator(char c, PathStyle style) {
    return style == PathStyle::Posix ? c == '/' : (c == '\\' || c == ':' || c == '/');
}
} // namespace

std::size_t nameStart(std::string_view path, PathStyle style) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (style == PathStyle::Windows && isCp932LeadByte(static_cast<unsigned char>(path[i]))) {
            ++i; // the trail byte may be 0x5C and is no separator
            continue;
        }
        if (isSeparator(path[i], style))
            start = i + 1;
    }
    return start;
}

std::string folderOf(std::string_view path, PathStyle style) {
    return std::string(path.substr(0, nameStart(path, style)));
}

std::string fileNameOf(std::string_view path, PathStyle style) {
    return std::string(path.substr(nameStart(path, style)));
}

std::string changeExtension(std::string_view path, std::string_view ext, PathStyle style) {
    const std::size_t start = nameStart(path, style);
    std::size_t dot = std::string_view::npos;
    for (std::size_t i = start; i < path.size(); ++i) {
        if (style == PathStyle::Windows && isCp932LeadByte(static_cast<unsigned char>(path[i]))) {
            ++i;
            continue;
        }
        if (path[i] == '.')
            dot = i;
    }
    std::string result(path.substr(0, dot == std::string_view::npos ? path.size() : dot));
    result += ext;
    return result;
}

std::string workFileOf(std::string_view page, std::string_view ext) {
    std::string work = changeExtension(page, ext);
    const std::size_t start = nameStart(work);
    if (work.size() - start <= kNameMax)
        return work;
    std::uint32_t hash = 2166136261u; // FNV-1a of the page's own name
    for (unsigned char c : page.substr(nameStart(page))) {
        hash ^= c;
        hash *= 16777619u;
    }
    char tag[16];
    std::snprintf(tag, sizeof tag, "~%08x", static_cast<unsigned>(hash));
    std::size_t cut = start + kNameMax - ext.size() - 9;
    while (cut > start && (static_cast<unsigned char>(work[cut]) & 0xC0) == 0x80)
        --cut; // a UTF-8 continuation byte: the character goes whole
    return work.substr(0, cut) + tag + std::string(ext);
}

} // namespace quillet::doc
