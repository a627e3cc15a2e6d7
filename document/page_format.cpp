#include "document/page_format.h"

#include <cstdio>

#include "document/line_io.h"
#include "document/markers.h"

namespace quillet::doc {

namespace {
constexpr char kCR = '\r';
}

std::uint32_t ColorToHtml(std::uint32_t value) {
    return ((value & 0xFFu) << 16) | (value & 0xFF00u) | ((value & 0xFF0000u) >> 16);
}

std::string htmlColor(std::uint32_t rrggbb) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "#%.6X", rrggbb);
    return buf;
}

std::string characterReference(char32_t code) {
    return "&#" + std::to_string(static_cast<std::uint32_t>(code)) + ";";
}

std::vector<std::string> newPageTemplate(const PageColors& c, NewPageCharset charset) {
    std::string body = "<BODY BGCOLOR=\"" + htmlColor(ColorToHtml(c.background)) + "\" TEXT=\"" +
                       htmlColor(ColorToHtml(c.text)) + "\" LINK=\"" + htmlColor(ColorToHtml(c.link)) +
                       "\" VLINK=\"" + htmlColor(ColorToHtml(c.visitedLink)) + "\" ALINK=\"" +
                       htmlColor(ColorToHtml(c.activeLink)) + "\">";
    const std::string label = charset == NewPageCharset::Utf8 ? "utf-8" : "x-sjis";
    return {
        "<HTML>\r<HEAD>\r<META http-equiv=\"Content-Type\" content=\"text/html; charset=" + label + "\">",
        "<TITLE></TITLE>\r</HEAD>",
        body,
        "<BR>\r<DIV ALIGN=\"center\">\r</DIV>\r<HR><BR>\r<!-INS-!>\r</BODY>\r</HTML>",
    };
}

std::string titleRecordLine(const Entry& e) {
    const TitleStyle& s = e.style;
    const std::string sz = s.size.empty() ? std::string() : " SIZE=\"" + s.size + "\"";
    std::string fontOpen;
    if (s.color >= 1)
        fontOpen = "<FONT COLOR=\"" + htmlColor(static_cast<std::uint32_t>(s.color)) + "\"" + sz + ">";
    else if (!sz.empty())
        fontOpen = "<FONT " + sz + ">"; // two blanks before SIZE: pages rely on the exact bytes
    const std::string fontClose = fontOpen.empty() ? "" : "</FONT>";

    std::string line(kTitleStartMarker);
    line += kCR;
    if (e.titleMark)
        line += s.markTag;
    line += kCR;
    if (s.bold)
        line += "<B>";
    if (s.italic)
        line += "<I>";
    line += fontOpen;
    line += kCR;
    line += e.title;
    line += kCR;
    line += fontClose;
    if (s.italic)
        line += "</I>";
    if (s.bold)
        line += "</B>";
    line += "<BR>";
    line += kCR;
    line += kTitleEndMarker;
    return line;
}

std::string bodyStartLine(bool indent) { return std::string(kBodyStartMarker) + (indent ? "<DL><DD>" : ""); }

std::string bodyEndLine(bool indent) {
    return std::string(kBodyEndMarker) + (indent ? "</DL>" : "") + "<HR>" + kCR + std::string(kEndMarker);
}

void writeEntryBlock(LineWriter& out, const Entry& e) {
    if (!e.title.empty())
        out.writeLine(titleRecordLine(e));
    out.writeLine(bodyStartLine(e.indent));
    for (const auto& line : e.body)
        out.writeLine(line);
    out.writeLine(bodyEndLine(e.indent));
}

} // namespace quillet::doc
