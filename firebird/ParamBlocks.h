#pragma once
// Pure builders of the byte blocks handed to the client library: attach (DPB), transaction (TPB),
// service (SPB) blocks and requests, and the names that address a database or the service manager.

#include "firebird/ClientLibrary.h"
#include "firebird/ConnectionSettings.h"
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
};

enum class Isolation { ReadCommitted, RepeatableRead, Snapshot, Serializable };

/// Appends tags, integers and counted texts; texts go in the system code page, cut to the count's limit.
class BlockWriter {
public:
    BlockWriter& Tag(std::uint8_t tag);
    BlockWriter& Int32(std::uint32_t value);
    BlockWriter& ShortString(const QString& text);
    BlockWriter& LongString(const QString& text);
    /// A length byte (1, 2 or 4) and the number, little-endian.
    BlockWriter& Number(std::uint32_t value);
    const Bytes& Data() const { return bytes_; }

private:
    Bytes bytes_;
};

/// A value stripped of leading and trailing blanks and control characters.
QString StripControl(const QString& text);

Bytes BuildAttachBlock(const ConnectionSettings& params, int dialect, const ClientInfo& client);
Bytes BuildTransactionBlock(Isolation isolation, bool readOnly, bool lockWait);
QString BuildConnectionString(const ConnectionSettings& params);

QString BuildServiceName(const ServiceSettings& settings, const ClientInfo& client);
Bytes BuildServiceAttachBlock(const ServiceSettings& settings);
/// Raises ConversionError for a file length that is no integer.
Bytes BuildBackupRequest(const QString& database, const BackupRequest& request, const ClientInfo& client);
Bytes BuildRestoreRequest(const QString& database, const RestoreRequest& request);

} // namespace abd
