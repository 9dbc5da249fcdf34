#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

namespace abd {

enum ServiceProtocol { ipLocal = 0, ipTCPIP = 1, ipNetBEUI = 2 };

/// Where and as whom a service operation talks to the service manager.
struct ServiceSettings {
    ServiceProtocol Protocol = ipLocal;
    int Port = 0;
    QString UserName;
    QString Password;
    QString Database;

    const QString& Host() const { return host_; }
    /// A new non-empty host moves a local protocol to TCP/IP.
    void SetHost(const QString& host);

private:
    QString host_;
};

enum BackupOption : std::uint16_t {
    boIgnoreChecksum = 1 << 0,
    boIgnoreLimbo = 1 << 1,
    boMetadataOnly = 1 << 2,
    boNoGarbageCollect = 1 << 3,
    boOldDescriptions = 1 << 4,
    boNonTransportable = 1 << 5,
    boConvert = 1 << 6,
    boExpand = 1 << 7,
    boNoTriggers = 1 << 8,
    boZip = 1 << 9,
};
using BackupOptions = std::uint16_t;

enum RestoreOption : std::uint16_t {
    roDeactivateIdx = 1 << 0,
    roNoShadow = 1 << 1,
    roNoValidity = 1 << 2,
    roOneAtATime = 1 << 3,
    roReplace = 1 << 4,
    roUseAllSpace = 1 << 5,
    roValidate = 1 << 6,
    roFixFSSData = 1 << 7,
    roFixFSSMetaData = 1 << 8,
    roMetaDataOnly = 1 << 9,
};
using RestoreOptions = std::uint16_t;

struct BackupRequest {
    QStringList BackupFiles;
    bool Verbose = false;
    BackupOptions Options = 0;
};

struct RestoreRequest {
    QStringList BackupFiles;
    bool Verbose = false;
    RestoreOptions Options = 0;
    std::int32_t PageSize = 0;
    std::int32_t PageBuffers = 0;
    QString FixCharSet;
};

struct ServerUsage {
    std::int32_t Attachments = 0;
    std::int32_t Databases = 0;
    QStringList DBNames;
};

} // namespace abd
