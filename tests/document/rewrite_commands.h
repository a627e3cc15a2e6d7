#pragma once
// The page commands of the window as the crash test runs them: the same document functions the
// window calls, picked and filled in from a seed and a step number, so that a run can be
// repeated step by step on a copy.

#include <algorithm>
#include <random>
#include <string>

#include "document/entry_rework.h"
#include "document/entry_writer.h"
#include "document/file_io.h"
#include "document/insertion_list.h"
#include "document/markers.h"
#include "document/page_open.h"
#include "document/page_rewrite.h"

namespace quillet::testing {

// Download: a copy of the page as a server would send it, received and installed the way the
// window does. InsertionPoint: the insertion-point dialog's write-back, its marker taken off and
// put back on its line and a marker line at the end added or removed.
enum class PageCommand { Save, ReplaceAll, DeleteLast, EditLast, Undo, Download, InsertionPoint };
inline constexpr PageCommand kLastCommand = PageCommand::InsertionPoint;

inline const char* commandName(PageCommand c) {
    static const char* names[] = {"Save", "Replace all", "Delete-last",    "Edit-last",
                                  "Undo", "Download",    "Insertion point"};
    return names[static_cast<int>(c)];
}

inline PageCommand commandAt(unsigned seed, unsigned step) {
    std::mt19937 rng(seed * 7919u + step);
    // Saves a little more often than the others, so the page keeps some entries.
    static constexpr PageCommand kinds[] = {
        PageCommand::Save,     PageCommand::Save, PageCommand::ReplaceAll, PageCommand::DeleteLast,
        PageCommand::EditLast, PageCommand::Undo, PageCommand::Download,   PageCommand::InsertionPoint};
    return kinds[rng() % 8];
}

// An entry of a few bytes up to some hundred kilobytes, so that kills land inside the writes.
inline doc::Entry entryAt(unsigned seed, unsigned step, bool closesPage) {
    std::mt19937 rng(seed * 104729u + step);
    doc::Entry e;
    e.title = "step " + std::to_string(step);
    e.indent = rng() % 2;
    const unsigned lines = rng() % 3 == 0 ? 1 : rng() % 3000;
    for (unsigned i = 0; i < lines; ++i)
        e.body.push_back(std::string(40 + rng() % 40, static_cast<char>('a' + (step + i) % 26)));
    if (closesPage)
        e.body.push_back("</BODY></HTML>");
    return e;
}

inline void runCommand(PageCommand command, const std::string& page, const doc::Entry& entry) {
    switch (command) {
    case PageCommand::Save:
        doc::writeEntry(page, entry, doc::SaveMode::Insert);
        break;
    case PageCommand::ReplaceAll:
        doc::writeEntry(page, entry, doc::SaveMode::ReplaceAll);
        break;
    case PageCommand::DeleteLast:
        doc::deleteNewestEntry(page);
        break;
    case PageCommand::EditLast:
        // The window's Edit-last; the entry goes to the editor.
        doc::takeNewestEntry(page, [](const doc::RecalledEntry&, const doc::PageEncoding&) { return true; });
        break;
    case PageCommand::Undo:
        doc::undoLastRewrite(page);
        break;
    case PageCommand::Download: {
        doc::ReceivedFile received(page, doc::Backup::Keep);
        std::string copy = "<HTML>\r\n<BODY>\r\n<!-INS-!>\r\n<!-BDY-A-!>\r\n";
        for (const auto& line : entry.body)
            copy += line + "\r\n";
        copy += "<!-BDY-B-!><HR>\r<!-END-!>\r\n</BODY>\r\n</HTML>\r\n";
        for (std::size_t at = 0; at < copy.size(); at += 4096) // as the packets come
            received.out().write(copy.data() + at, std::min<std::size_t>(4096, copy.size() - at));
        received.install();
        break;
    }
    case PageCommand::InsertionPoint: {
        if (!doc::fileExists(page))
            break;
        doc::InsertionList list = doc::loadInsertionList(page);
        std::size_t at = 0;
        while (at < list.size() && !list.beginsWithMarker(at))
            ++at;
        if (at > 0 && at < list.size()) {
            list.toggle(at);
            list.toggle(at - 1);
        }
        if (list.size() > 0)
            list.toggle(list.size() - 1); // a marker line at the end comes and goes
        doc::saveInsertionList(page, list);
        break;
    }
    }
}

inline void runPageCommand(const std::string& page, unsigned seed, unsigned step) {
    const PageCommand command = commandAt(seed, step);
    runCommand(command, page, entryAt(seed, step, command == PageCommand::ReplaceAll));
}

} // namespace quillet::testing
