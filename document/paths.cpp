#include "document/paths.h"

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

} // namespace quillet::doc
