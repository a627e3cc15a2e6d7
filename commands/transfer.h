#pragma once
// Upload and download of the page over a connected client. Both are binary, so the server's copy
// is the page byte for byte. A download replaces the page only when it is complete, the way a
// Save does: the page as it was becomes the backup.

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace quillet::net {
class TNMFTP;
}

namespace quillet::commands {

enum class TransferEnd {
    Done,
    Canceled, // the author stopped it
    Kept,     // a download the author did not want installed: the page is as it was
};

// `remoteField` names where the remote name came from, for the refusal of a name the server's
// encoding cannot carry. `canceled` tells whether the author has stopped the transfer.
TransferEnd uploadPage(net::TNMFTP& client, const std::string& pagePath, const QString& shownPage,
                       const QString& remoteName, const QString& remoteField,
                       const std::function<bool()>& canceled);

// How far the running transfer is: the bytes moved so far and, when the size is known, the whole
// (0 when not). Nothing while no data connection is open.
struct TransferProgress {
    std::uint64_t done = 0;
    std::int64_t total = 0;
};
std::optional<TransferProgress> transferProgress(const net::TNMFTP& client);

struct DownloadHooks {
    std::function<bool()> canceled;
    // The download has no marker line: replace the page with it anyway?
    std::function<bool(const QString& question)> replaceMarked;
    // Runs the installation (a long fsync for a large page), in whatever way keeps the front end
    // answering.
    std::function<void(const std::function<void()>&)> install;
};
TransferEnd downloadPage(net::TNMFTP& client, const QString& remoteName, const QString& remoteField,
                         const std::string& pagePath, const QString& shownPage, const DownloadHooks& hooks);

} // namespace quillet::commands
