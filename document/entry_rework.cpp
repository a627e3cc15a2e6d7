#include "document/entry_rework.h"

#include "document/file_io.h"
#include "document/line_io.h"
#include "document/markers.h"
#include "document/page_encoding.h"
#include "document/page_lock.h"
#include "document/page_rewrite.h"
#include "document/paths.h"

namespace quillet::doc {

std::uint32_t HexValue(std::string_view text) {
    std::uint32_t value = 0;
    for (char ch : text) {
        unsigned digit = 0;
        if (ch >= '1' && ch <= '9')
            digit = static_cast<unsigned>(ch - '0');
        else if (ch >= 'A' && ch <= 'F')
            digit = static_cast<unsigned>(ch - 'A' + 10);
        else if (ch >= 'a' && ch <= 'f')
            digit = static_cast<unsigned>(ch - 'a' + 10);
        value = value * 16 + digit; // unsigned: the top digits fall off
    }
    return value;
}

std::string AttributeValue(std::string_view tag, std::string_view name) {
    const auto at = tag.find(name);
    if (at == std::string_view::npos)
        return {};
    std::string_view rest = tag.substr(at + name.size());
    if (auto eq = rest.find('='); eq != std::string_view::npos)
        rest.remove_prefix(eq + 1);
    if (auto q = rest.find('"'); q != std::string_view::npos)
        rest.remove_prefix(q + 1);
    const auto end = rest.find('"');
    return end == std::string_view::npos ? std::string() : std::string(rest.substr(0, end));
}

namespace {
// Deletes the first occurrence of `what`; true when there was one.
bool eraseFirst(std::string& x, std::string_view what) {
    const auto at = x.find(what);
    if (at == std::string::npos)
        return false;
    x.erase(at, what.size());
    return true;
}

// Cuts the tag that starts at `start` (up to the first ">" after it, or the "<" alone when none
// follows) out of x. Returns the tag when no other "<" lies inside it.
std::optional<std::string> cutTag(std::string& x, std::size_t start) {
    const auto close = x.find('>', start);
    const std::size_t length = close == std::string::npos ? 1 : close - start + 1;
    std::string tag = x.substr(start, length);
    x.erase(start, length);
    if (tag.find('<', 1) != std::string::npos)
        return std::nullopt;
    return tag;
}
} // namespace

DecodedTitle decodeTitle(std::string x) {
    DecodedTitle d;
    if (eraseFirst(x, "<B>")) {
        d.bold = true;
        eraseFirst(x, "</B>");
    }
    if (eraseFirst(x, "<I>")) {
        d.italic = true;
        eraseFirst(x, "</I>");
    }
    if (const auto img = x.find("<IMG SRC"); img != std::string::npos) {
        d.markTag = cutTag(x, img);
        d.markOn = true;
    }
    if (x.find("<FONT") != std::string::npos) {
        eraseFirst(x, "</FONT>");
        const std::string font = cutTag(x, x.find("<FONT")).value_or("");
        if (font.find("COLOR") != std::string::npos) {
            const std::string v = AttributeValue(font, "COLOR");
            d.color = v.empty() ? 0 : static_cast<std::int32_t>(HexValue(std::string_view(v).substr(1)));
        }
        if (font.find("SIZE") != std::string::npos)
            d.size = AttributeValue(font, "SIZE");
    }
    if (const auto br = x.find("<BR>"); br != std::string::npos && br + 4 == x.size())
        x.erase(br);
    d.title = std::move(x);
    return d;
}

namespace {
RecalledEntry readEntry(LineReader& in, std::string& line) {
    RecalledEntry e;
    bool inTitle = false;
    while (in.readLine(line)) {
        if (marker::EditEnd(line)) {
            e.endFound = true;
            break;
        }
        if (marker::TitleStart(line))
            inTitle = true;
        else if (marker::TitleEnd(line))
            inTitle = false;
        else if (inTitle)
            e.titleRecord += line;
        else if (marker::BodyStart(line)) {
            if (line.find("<DL><DD>") != std::string::npos)
                e.indent = true;
        } else if (!marker::BodyEnd(line))
            e.body.push_back(line);
    }
    return e;
}
} // namespace

RecalledEntry readNewestEntry(PageRewrite& rewrite) { return readEntry(rewrite.in(), rewrite.line()); }

TakenEntry peekNewestEntry(const std::string& pagePath) {
    TakenEntry peeked;
    if (!fileExists(pagePath))
        return peeked;
    InputFile page(pagePath);
    peeked.encoding = pageEncoding(page, pagePath);
    FileSource source(page);
    LineReader in(source);
    std::string line;
    if (in.readThrough(marker::Insertion))
        peeked.entry = readEntry(in, line);
    peeked.outcome = peeked.entry.endFound ? ReworkOutcome::Done : ReworkOutcome::NoEntryEnd;
    return peeked;
}

ReworkOutcome deleteNewestEntry(const std::string& pagePath) {
    if (!fileExists(pagePath))
        return ReworkOutcome::PageMissing;
    PageRewrite rewrite(pagePath);
    rewrite.CopyThroughMarker();
    // Without an entry end the rest of the page is no entry but the page's tail: keep it.
    if (!rewrite.skipThrough(marker::DeleteEnd))
        return ReworkOutcome::NoEntryEnd;
    rewrite.CopyRest();
    rewrite.commit();
    return ReworkOutcome::Done;
}

TakenEntry takeNewestEntry(const std::string& pagePath, const EntryAcceptor& accept) {
    TakenEntry taken;
    if (!fileExists(pagePath))
        return taken;
    PageRewrite rewrite(pagePath);
    rewrite.CopyThroughMarker();
    taken.entry = readNewestEntry(rewrite);
    taken.encoding = rewrite.encoding();
    if (!accept(taken.entry, taken.encoding))
        taken.outcome = ReworkOutcome::Refused;
    else if (!taken.entry.endFound)
        taken.outcome = ReworkOutcome::NoEntryEnd;
    else {
        rewrite.CopyRest();
        rewrite.commit();
        taken.outcome = ReworkOutcome::Done;
    }
    return taken;
}

ReworkOutcome undoLastRewrite(const std::string& path) {
    if (!fileExists(path))
        return ReworkOutcome::PageMissing;
    const std::string pagePath = resolvePage(path);
    PageLock lock(pagePath, path);
    InputFile page(pagePath); // an unreadable page stops here with its error
    pageEncoding(page, path);
    const std::string bak = bakFileOf(pagePath);
    if (!fileExists(bak))
        return ReworkOutcome::NoBackup;
    InputFile backup(bak);
    page.close();
    backup.close();
    exchangeFiles(pagePath, bak);
    return ReworkOutcome::Done;
}

} // namespace quillet::doc
