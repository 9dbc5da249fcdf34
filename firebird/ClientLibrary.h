#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <csignal>
#include <mutex>

namespace abd {

struct ClientApi;

enum class ClientBrand { Firebird, InterBase, Other };

/// The loaded Firebird client library: loaded at the first attach, kept until the process ends.
class ClientLibrary {
public:
    static constexpr int kVersion20 = 200000000;
    static constexpr int kVersion25 = 205000000;
    static constexpr int kVersion30 = 300000000;
    static constexpr int kVersion40 = 400000000;

    /// The process's library, loading it on first use; raises error 314 or 315 when it cannot.
    static ClientLibrary& Load();
    /// The library if it has been loaded, else nullptr.
    static ClientLibrary* Loaded();

    /// Ends the client library's own threads and connections, once the program is done with the server.
    static void Shutdown();

    /// The candidate file names tried at the next load (tests point them at missing files).
    static QStringList Candidates();
    static void SetCandidates(const QStringList& names);

    const ClientApi& Api() const { return *api_; }
    const QString& FileName() const { return fileName_; }
    ClientBrand Brand() const { return brand_; }
    int Version() const { return version_; }
    bool Embedded() const { return embedded_; }
    bool IsFirebird(int minimumVersion) const { return brand_ == ClientBrand::Firebird && version_ >= minimumVersion; }

    /// After an attach call (done or failed): the SIGINT, SIGTERM and SIGHUP handlers are again those of the
    /// time the library was loaded, whatever the library installed at its first call.
    void KeepSignalHandlers();

    /// Serialises attach, detach and the reading of status vectors.
    std::recursive_mutex& Mutex() { return mutex_; }

    ~ClientLibrary();
    ClientLibrary(const ClientLibrary&) = delete;
    ClientLibrary& operator=(const ClientLibrary&) = delete;

private:
    ClientLibrary() = default;

    void* handle_ = nullptr;
    ClientApi* api_ = nullptr;
    QString fileName_;
    ClientBrand brand_ = ClientBrand::Other;
    int version_ = 0;
    bool embedded_ = false;
    std::recursive_mutex mutex_;
    static constexpr std::array<int, 3> kKeptSignals{SIGINT, SIGTERM, SIGHUP};
    std::array<struct sigaction, 3> keptActions_{};
    std::once_flag signalsKept_;
};

/// Brand from the library's own description: FIREBIRD, INTERBASE, anything else.
ClientBrand BrandOf(const QString& description);

/// The argument of error 314: "a, b or c".
QString JoinCandidates(const QStringList& names);

} // namespace abd
