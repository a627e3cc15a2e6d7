#pragma once
// The page commands of the window as the crash test runs them: the same document functions the
// window calls, picked and filled in from a seed and a step number, so that a run can be
// repeated step by step on a copy.

#include <random>
#include <string>

#include "document/entry_rework.h"
#include "document/entry_writer.h"
#include "document/file_io.h"
#include "document/page_rewrite.h"

namespace quillet::testing {

enum class PageCommand { Save, ReplaceAll, DeleteLast, EditLast, Undo };

inline const char* commandName(PageCommand c) {
    static const char* names[] = {"Save", "Replace all", "Delete-last", "Edit-last", "Undo"};
    return names[static_cast<int>(c)];
}

inline PageCommand commandAt(unsigned seed, unsigned step) {
    std::mt19937 rng(seed * 7919u + step);
    // Saves a little more often than the others, so the page keeps some entries.
    static constexpr PageCommand kinds[] = {PageCommand::Save,       PageCommand::Save,
                                            PageCommand::ReplaceAll, PageCommand::DeleteLast,
                                            PageCommand::EditLast,   PageCommand::Undo};
    return kinds[rng() % 6];
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
    case PageCommand::EditLast: {
        // What the window's Edit-last does with the page; the entry goes to the editor.
        if (!doc::fileExists(page))
            break;
        doc::PageRewrite rewrite(page);
        rewrite.CopyThroughMarker();
        if (doc::readNewestEntry(rewrite).endFound) {
            rewrite.CopyRest();
            rewrite.commit();
        }
        break;
    }
    case PageCommand::Undo:
        doc::undoLastRewrite(page);
        break;
    }
}

inline void runPageCommand(const std::string& page, unsigned seed, unsigned step) {
    const PageCommand command = commandAt(seed, step);
    runCommand(command, page, entryAt(seed, step, command == PageCommand::ReplaceAll));
}

} // namespace quillet::testing
