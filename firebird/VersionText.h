#pragma once

#include <QString>

namespace abd {

/// major×10^8 + minor×10^6 + release×10^4 + build×10^2 + fifth, from the first digit of the text on.
int ParseVersionText(const QString& text);

/// The client library's version text on a platform without version resources: the version suffix of the
/// library's real file name (libfbclient.so.3.0.11), with the build number of isc_get_client_version's text
/// ("LI-V6.3.11.33637 Firebird 3.0"), whose leading numbers follow an older numbering; when the file name
/// carries no version, the version after the brand word of that text.
QString ClientVersionText(const QString& realFileName, const QString& clientVersion);

} // namespace abd
