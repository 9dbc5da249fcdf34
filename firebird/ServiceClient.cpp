#include "firebird/ServiceClient.h"

#include "firebird/ClientLibrary.h"
#include "firebird/Encoding.h"
#include "firebird/ParamBlocks.h"
#include "firebird/ReplyReader.h"
#include "firebird/ServerWait.h"
#include "firebird/internal/ClientApi.h"
#include "firebird/internal/Status.h"

namespace abd {

namespace {
constexpr char kQueryTimeoutSeconds = 5;
}

struct ServiceClient::Impl {
    ClientLibrary* lib = nullptr;
    isc_svc_handle handle = 0;
    ISC_STATUS_ARRAY status{};
    std::optional<DatabaseError> lastWarning;
    bool timedOut = false;

    void Check(ISC_STATUS rc) { CheckStatus(*lib, rc, status, &lastWarning); }
    ClientInfo Info() const { return InfoOf(*lib); }
};

ServiceClient::ServiceClient() : d(std::make_unique<Impl>()) {}

ServiceClient::~ServiceClient() {
    if (d->handle && d->lib) {
        const ServerWait::Call waiting;
        std::lock_guard lock(d->lib->Mutex());
        ISC_STATUS_ARRAY ignored{};
        d->lib->Api().isc_service_detach(ignored, &d->handle);
    }
}

bool ServiceClient::Attached() const { return d->handle != 0; }

void ServiceClient::Attach(const ServiceSettings& settings) {
    d->lib = &ClientLibrary::Load();
    const ClientInfo info = d->Info();
    const QString service = BuildServiceName(settings, info);
    const std::optional<QByteArray> name = EncodeExactly(service, info.ServiceText());
    if (!name)
        throw UncarriedText(
            QStringLiteral("O nome do servidor tem um caractere que não pode ser enviado como está "
                           "(\"%1\").")
                .arg(*UncarriedCharacter(service, info.ServiceText())));
    const Bytes spb = BuildServiceAttachBlock(settings, info);
    const ServerWait::Call waiting;
    std::lock_guard lock(d->lib->Mutex());
    d->handle = 0;
    const ISC_STATUS rc = d->lib->Api().isc_service_attach(
        d->status, static_cast<unsigned short>(name->size()), name->constData(), &d->handle,
        static_cast<unsigned short>(spb.size()), reinterpret_cast<const ISC_SCHAR*>(spb.data()));
    d->lib->KeepSignalHandlers();
    if (rc != 0)
        d->handle = 0;
    d->Check(rc);
}

void ServiceClient::Start(const std::vector<std::uint8_t>& request) {
    const ServerWait::Call waiting;
    d->Check(d->lib->Api().isc_service_start(d->status, &d->handle, nullptr, static_cast<unsigned short>(request.size()),
                                             reinterpret_cast<const ISC_SCHAR*>(request.data())));
}

bool ServiceClient::QueryString(QString& line) {
    // A live server answers within the time-out even while its job is silent (an index being built), so that
    // a long wait always means a server that stopped answering.
    const char send[] = {isc_info_svc_timeout, 4, 0, kQueryTimeoutSeconds, 0, 0, 0};
    const char request = isc_info_svc_line;
    std::uint8_t reply[1024] = {};
    const ServerWait::Call waiting;
    d->Check(d->lib->Api().isc_service_query(d->status, &d->handle, nullptr, sizeof send, send, 1, &request,
                                             sizeof reply, reinterpret_cast<ISC_SCHAR*>(reply)));
    const LineReply parsed = ParseLineReply(reply, sizeof reply);
    line = parsed.Line;
    d->timedOut = parsed.TimedOut;
    return parsed.Finished;
}

void ServiceClient::Detach() {
    if (!d->handle)
        return;
    const ServerWait::Call waiting;
    std::lock_guard lock(d->lib->Mutex());
    const ISC_STATUS rc = d->lib->Api().isc_service_detach(d->status, &d->handle);
    d->handle = 0;
    d->Check(rc);
}

void ServiceClient::Execute(const ServiceSettings& settings, const std::function<std::vector<std::uint8_t>()>& build) {
    Attach(settings);
    try {
        Start(build());
        for (;;) {
            QString line;
            if (QueryString(line))
                break;
            if (d->timedOut)
                continue;
            if (OnProgress)
                OnProgress(*this, line);
        }
    } catch (...) {
        // The detach's own failure, if any, is the one that reaches the caller.
        Detach();
        throw;
    }
    Detach();
}

ServerUsage ServiceClient::GetUsage(const ServiceSettings& settings) {
    ServerUsage usage;
    Attach(settings);
    try {
        const char request = isc_info_svc_svr_db_info;
        std::vector<std::uint8_t> reply(32000);
        const ServerWait::Call waiting;
        d->Check(d->lib->Api().isc_service_query(d->status, &d->handle, nullptr, 0, nullptr, 1, &request,
                                                 static_cast<unsigned short>(reply.size()),
                                                 reinterpret_cast<ISC_SCHAR*>(reply.data())));
        usage = ParseUsageReply(reply.data(), reply.size());
    } catch (...) {
        Detach();
        throw;
    }
    Detach();
    return usage;
}

void ServiceClient::Backup(const ServiceSettings& settings, const BackupRequest& request) {
    Execute(settings, [&] { return BuildBackupRequest(settings.Database, request, d->Info()); });
}

void ServiceClient::Restore(const ServiceSettings& settings, const RestoreRequest& request) {
    Execute(settings, [&] { return BuildRestoreRequest(settings.Database, request, d->Info()); });
}

ServerUsage GetUsage(const ServiceSettings& settings) {
    ServiceClient client;
    return client.GetUsage(settings);
}

void Backup(const ServiceSettings& settings, const BackupRequest& request, const ProgressCallback& onProgress) {
    ServiceClient client;
    client.OnProgress = onProgress;
    client.Backup(settings, request);
}

void Restore(const ServiceSettings& settings, const RestoreRequest& request, const ProgressCallback& onProgress) {
    ServiceClient client;
    client.OnProgress = onProgress;
    client.Restore(settings, request);
}

} // namespace abd
