#pragma once
// Pure builders of the byte blocks handed to the client library: attach (DPB), transaction (TPB),
// service (SPB) blocks and requests, and the names that address a database or the service manager.

#include "firebird/ClientLibrary.h"
#include "firebird/ConnectionSettings.h"
#include "firebird/Encoding.h"
#include "firebird/Failure.h"
#include "firebird/ServiceSettings.h"

#include <QString>
#include <cstdint>
#include <vector>

namespace abd {

using Bytes = std::vector<std::uint8_t>;

/// What the builders need to know of the loaded client library.
struct ClientInfo {
    ClientBrand Brand = ClientBrand::Firebird;
    int Version = 0;
    bool Embedded = false;
    bool IsFirebird(int minimumVersion) const { return Brand == ClientBrand::Firebird && Version >= minimumVersion; }
    int Major() const { return Version / 100000000; }
    /// The attach block declares its names as UTF-8 (isc_dpb_utf8_filename) from 2.5 on.
    TextEncoding DatabaseText() const {
        return IsFirebird(ClientLibrary::kVersion25) ? TextEncoding::Utf8 : TextEncoding::CodePage;
    }
    /// The service attach block declares UTF-8 (isc_spb_utf8_filename) from 3.0 on; its requests follow it.
    TextEncoding ServiceText() const {
        return IsFirebird(ClientLibrary::kVersion30) ? TextEncoding::Utf8 : TextEncoding::CodePage;
    }
};

ClientInfo InfoOf(const ClientLibrary& library);

/// A text for a parameter block holds a character that its encoding cannot carry: it is refused, never
/// replaced.
class UncarriedText : public Failure {
public:
    using Failure::Failure;
};

enum class Isolation { ReadCommitted, RepeatableRead, Snapshot, Serializable };

/// Appends tags, integers and counted texts; texts go in the block's encoding, cut to the count's limit
/// (never inside a character), and a character the encoding cannot carry raises UncarriedText.
class BlockWriter {
public:
    explicit BlockWriter(TextEncoding encoding = TextEncoding::CodePage) : encoding_(encoding) {}
    BlockWriter& Tag(std::uint8_t tag);
    BlockWriter& Int32(std::uint32_t value);
    BlockWriter& ShortString(const QString& text);
    BlockWriter& LongString(const QString& text);
    /// A length byte (1, 2 or 4) and the number, little-endian.
    BlockWriter& Number(std::uint32_t value);
    const Bytes& Data() const { return bytes_; }

private:
    QByteArray Encode(const QString& text, qsizetype limit) const;

    TextEncoding encoding_;
    Bytes bytes_;
};

/// A value stripped of leading and trailing blanks and control characters.
QString StripControl(const QString& text);

Bytes BuildAttachBlock(const ConnectionSettings& params, int dialect, const ClientInfo& client);
Bytes BuildTransactionBlock(Isolation isolation, bool readOnly, bool lockWait);
QString BuildConnectionString(const ConnectionSettings& params);

/// A server as administrators write it: blanks around it dropped, its own port ("host/3051", "[::1]/3051")
/// kept apart from the host, a bare IPv6 address bracketed for the client library.
struct ServerAddress {
    QString Host; ///< empty when the text was empty or blanks alone
    QString Port; ///< the port the text carries, empty when none
};
ServerAddress ParseServer(const QString& text);

QString BuildServiceName(const ServiceSettings& settings, const ClientInfo& client);
Bytes BuildServiceAttachBlock(const ServiceSettings& settings, const ClientInfo& client);
/// Raises ConversionError for a file length that is no integer.
Bytes BuildBackupRequest(const QString& database, const BackupRequest& request, const ClientInfo& client);
Bytes BuildRestoreRequest(const QString& database, const RestoreRequest& request, const ClientInfo& client);

} // namespace abd
