#include "commands/transfer.h"

#include <QLocale>
#include <stdexcept>

#include "commands/texts.h"
#include "document/work_files.h"
#include "net/ftp_client.h"
#include "platform/codepage.h"

namespace quillet::commands {

TransferEnd uploadPage(net::TNMFTP& client, const std::string& pagePath, const QString& shownPage,
                       const QString& remoteName, const QString& remoteField,
                       const std::function<bool()>& canceled) {
    // The name goes out in the server's encoding, exactly or not at all.
    const std::string remote = client.NameEncoding().encodeExactly(remoteName, remoteField);
    // TYPE I: the server's copy is the page byte for byte (in text type a server may rewrite
    // line ends, and a bare CR ends a line of the page).
    client.SetTransferType(2);
    try {
        client.Upload(pagePath, remote);
    } catch (const net::ESockError&) { // also "Accepting Canceled" before the data flowed
        if (!canceled())
            throw;
        return TransferEnd::Canceled;
    } catch (const net::EUploadMismatch& e) {
        throw std::runtime_error(
            texts::uploadSizeDiffers(shownPage, QLocale().toString(static_cast<qulonglong>(e.Held())),
                                     QLocale().toString(static_cast<qulonglong>(e.Sent())))
                .toStdString());
    }
    return TransferEnd::Done;
}

std::optional<TransferProgress> transferProgress(const net::TNMFTP& client) {
    const net::TPowersock* data = client.DataSocket();
    if (!data)
        return std::nullopt;
    return TransferProgress{data->BytesRecvd() ? data->BytesRecvd() : data->BytesSent(), client.BytesTotal()};
}

TransferEnd downloadPage(net::TNMFTP& client, const QString& remoteName, const QString& remoteField,
                         const std::string& pagePath, const QString& shownPage, const DownloadHooks& hooks) {
    const std::string remote = client.NameEncoding().encodeExactly(remoteName, remoteField);
    // Received beside the page's real file; the page and its backup are touched only when a
    // complete copy is installed, the way a Save replaces the page: the page as it was goes to
    // the backup, so Undo brings it back after a download made by mistake.
    doc::ReceivedFile received(pagePath, doc::Backup::Keep);
    client.SetTransferType(2); // the page comes back exactly as it was uploaded
    bool complete = false;
    try {
        complete = client.Download(remote, received.out());
    } catch (const net::ESockError&) {
        if (!hooks.canceled())
            throw;
    }
    if (hooks.canceled())
        return TransferEnd::Canceled;
    if (!complete)
        throw std::runtime_error(texts::downloadIncomplete(shownPage).toStdString());
    if (received.losesInsertionLine() && !hooks.replaceMarked(texts::replaceMarkedPage(shownPage)))
        return TransferEnd::Kept;
    hooks.install([&] { received.install(); });
    return TransferEnd::Done;
}

} // namespace quillet::commands
