#include "firebird/ClientLibrary.h"

#include "firebird/Errors.h"
#include "firebird/VersionText.h"
#include "firebird/internal/ClientApi.h"

#include <QFileInfo>
#include <csignal>
#include <dlfcn.h>
#include <memory>

namespace abd {

namespace {

QStringList& CandidateList() {
    static QStringList names{QStringLiteral("libfbclient.so.2"), QStringLiteral("libfbclient.so")};
    return names;
}

std::mutex& LoadMutex() {
    static std::mutex m;
    return m;
}

std::unique_ptr<ClientLibrary>& Instance() {
    static std::unique_ptr<ClientLibrary> instance;
    return instance;
}

/// The client library answers SIGINT and SIGTERM by shutting every attachment and service of the process
/// down from a thread of its own. The program handles those signals itself (a step is rolled back, a
/// service job is waited for), so that shutdown is refused. This covers a signal that comes while the
/// library's handler is in place, during the process's first attach (see KeepSignalHandlers).
int RefuseShutdownOnSignal(const int reason, const int, void*) { return reason == fb_shutrsn_signal ? 1 : 0; }

QString TrimLoaderText(QString text) {
    while (!text.isEmpty() && (text.back().unicode() <= 32 || text.back() == QLatin1Char('.')))
        text.chop(1);
    return text;
}

} // namespace

QString JoinCandidates(const QStringList& names) {
    if (names.size() <= 1)
        return names.value(0);
    return names.mid(0, names.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" or ") + names.back();
}

ClientBrand BrandOf(const QString& description) {
    const QString upper = description.toUpper();
    if (upper.contains(QStringLiteral("FIREBIRD")))
        return ClientBrand::Firebird;
    if (upper.contains(QStringLiteral("INTERBASE")))
        return ClientBrand::InterBase;
    return ClientBrand::Other;
}

QStringList ClientLibrary::Candidates() {
    std::lock_guard lock(LoadMutex());
    return CandidateList();
}

void ClientLibrary::SetCandidates(const QStringList& names) {
    std::lock_guard lock(LoadMutex());
    CandidateList() = names;
}

ClientLibrary* ClientLibrary::Loaded() {
    std::lock_guard lock(LoadMutex());
    return Instance().get();
}

ClientLibrary& ClientLibrary::Load() {
    std::lock_guard lock(LoadMutex());
    if (Instance())
        return *Instance();

    const QStringList candidates = CandidateList();
    void* handle = nullptr;
    QString lastError;
    for (const QString& name : candidates) {
        handle = dlopen(QFile::encodeName(name).constData(), RTLD_NOW | RTLD_LOCAL);
        if (handle)
            break;
        const char* e = dlerror();
        lastError = e ? QString::fromLocal8Bit(e) : QString();
    }
    if (!handle) {
        QString osText = TrimLoaderText(lastError);
        if (!osText.isEmpty())
            osText += QStringLiteral("\r\n");
        throw AccessError::Make({QStringLiteral("Phys"), QStringLiteral("FB")}, 314,
                                QStringLiteral("Cannot load vendor library [%s]. %s"
                                               "Hint: check it is in the PATH or application EXE directories, "
                                               "and has x64 bitness."),
                                {JoinCandidates(candidates), osText});
    }

    auto api = std::make_unique<ClientApi>();
    QStringList missing;
#define ABD_RESOLVE_REQUIRED(name)                                                                             \
    api->name = reinterpret_cast<decltype(api->name)>(dlsym(handle, #name));                                  \
    if (!api->name)                                                                                            \
        missing << QStringLiteral(#name);
#define ABD_RESOLVE_OPTIONAL(name) api->name = reinterpret_cast<decltype(api->name)>(dlsym(handle, #name));
    ABD_REQUIRED_ENTRY_POINTS(ABD_RESOLVE_REQUIRED)
    ABD_OPTIONAL_ENTRY_POINTS(ABD_RESOLVE_OPTIONAL)
#undef ABD_RESOLVE_REQUIRED
#undef ABD_RESOLVE_OPTIONAL
    if (!missing.isEmpty()) {
        dlclose(handle);
        throw AccessError::Make({QStringLiteral("Phys"), QStringLiteral("FB")}, 315,
                                QStringLiteral("Cannot get vendor library entry point[s]. [%s]"),
                                {missing.join(QLatin1Char('\n'))});
    }

    if (api->fb_shutdown_callback) {
        ISC_STATUS_ARRAY ignored{};
        api->fb_shutdown_callback(ignored, RefuseShutdownOnSignal, fb_shut_confirmation, nullptr);
    }

    std::unique_ptr<ClientLibrary> lib(new ClientLibrary);
    for (std::size_t i = 0; i < kKeptSignals.size(); ++i)
        ::sigaction(kKeptSignals[i], nullptr, &lib->keptActions_[i]);
    lib->handle_ = handle;
    lib->api_ = api.release();

    Dl_info info{};
    QString loadedPath;
    if (dladdr(reinterpret_cast<void*>(lib->api_->isc_attach_database), &info) && info.dli_fname)
        loadedPath = QFile::decodeName(info.dli_fname);
    const QString realPath = QFileInfo(loadedPath).canonicalFilePath();
    lib->fileName_ = realPath.isEmpty() ? loadedPath : realPath;

    QString description;
    if (lib->api_->isc_get_client_version) {
        char buffer[256] = {};
        lib->api_->isc_get_client_version(buffer);
        description = QString::fromLatin1(buffer);
    }
    lib->brand_ = BrandOf(description);
    lib->version_ = ParseVersionText(ClientVersionText(lib->fileName_, description));
    lib->embedded_ = lib->brand_ == ClientBrand::Firebird && lib->fileName_.toLower().contains(QStringLiteral("embed"));

    Instance() = std::move(lib);
    return *Instance();
}

void ClientLibrary::KeepSignalHandlers() {
    // The library puts its own handlers in at the process's first attach, database or service. Each signal
    // then wakes the library's shutdown thread, which calls fb_shutdown: refused, but when that call overlaps
    // the program's own end (its fb_shutdown, the exit), the process crashes inside the library. From the
    // first attach on, the handlers are again the ones the process had when the library was loaded.
    std::call_once(signalsKept_, [this] {
        for (std::size_t i = 0; i < kKeptSignals.size(); ++i)
            ::sigaction(kKeptSignals[i], &keptActions_[i], nullptr);
    });
}

void ClientLibrary::Shutdown() {
    std::lock_guard lock(LoadMutex());
    if (Instance() && Instance()->api_->fb_shutdown)
        Instance()->api_->fb_shutdown(0, fb_shutrsn_app_stopped);
}

ClientLibrary::~ClientLibrary() {
    delete api_;
    // The library stays mapped until the process ends: client threads may still be winding down.
}

} // namespace abd
