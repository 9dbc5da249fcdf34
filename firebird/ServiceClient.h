#pragma once

#include "firebird/ServiceSettings.h"

#include <QString>
#include <functional>
#include <memory>

namespace abd {

class ServiceClient;

/// Receives each output line of a service operation, as the server sends it.
using ProgressCallback = std::function<void(ServiceClient& sender, const QString& line)>;

/// A client of the server's service manager for one operation: attach, start, read the output, detach.
class ServiceClient {
public:
    ServiceClient();
    /// Detaches quietly when still attached.
    ~ServiceClient();
    ServiceClient(const ServiceClient&) = delete;
    ServiceClient& operator=(const ServiceClient&) = delete;

    ProgressCallback OnProgress;

    void Attach(const ServiceSettings& settings);
    void Start(const std::vector<std::uint8_t>& request);
    /// Reads one output line; true when the output has ended.
    bool QueryString(QString& line);
    void Detach();
    bool Attached() const;

    /// The server's usage: attachments, databases and their names.
    ServerUsage GetUsage(const ServiceSettings& settings);
    void Backup(const ServiceSettings& settings, const BackupRequest& request);
    void Restore(const ServiceSettings& settings, const RestoreRequest& request);

private:
    /// Attach, start with the request that build() makes, pass every line to OnProgress, always detach.
    void Execute(const ServiceSettings& settings, const std::function<std::vector<std::uint8_t>()>& build);

    struct Impl;
    std::unique_ptr<Impl> d;
};

/// The three operations, each on a fresh client of its own.
ServerUsage GetUsage(const ServiceSettings& settings);
void Backup(const ServiceSettings& settings, const BackupRequest& request, const ProgressCallback& onProgress);
void Restore(const ServiceSettings& settings, const RestoreRequest& request, const ProgressCallback& onProgress);

} // namespace abd
