#pragma once
// What a connect says while it waits and when it did not end connected: in Japanese, what
// happened and what to do. The network layer's exceptions carry its English texts; of those only
// a server's own reply line is quoted.

#include <QString>
#include <exception>
#include <string>

#include "commands/texts.h"
#include "platform/tls_channel.h"

namespace quillet::commands {

// `canceled`: the author stopped the connect.
QString connectFailure(std::exception_ptr error, bool canceled);

// One reason a certificate is not trusted, short enough for a status line.
QString certificateProblemText(platform::CertificateProblem problem);
// The warning for a certificate that is not the one pinned for the site.
QString pinChangedText(const QString& host, const std::string& pinned,
                       const platform::CertificateInfo& presented);

} // namespace quillet::commands
