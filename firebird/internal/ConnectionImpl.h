#pragma once
// Private to the firebird library: the state shared by a connection and its statements.

#include "firebird/ClientLibrary.h"
#include "firebird/DatabaseConnection.h"
#include "firebird/DatabaseStatement.h"
#include "firebird/Errors.h"
#include "firebird/ServerWait.h"
#include "firebird/internal/ClientApi.h"
#include "firebird/internal/Status.h"

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <set>

namespace abd {

struct DatabaseConnection::Impl {
    DatabaseConnection* self = nullptr;
    QString name;
    ConnectionSettings params;
    ConnectionState state = ConnectionState::Closed;
    ClientLibrary* lib = nullptr;
    isc_db_handle db = 0;
    /// The attachment as another thread sees it, to cancel what runs on it.
    std::atomic<isc_db_handle> cancellable{0};
    /// A cancel request ends the pauses between reconnection attempts; a new opening forgets it.
    std::mutex cancelMutex;
    std::condition_variable cancelWake;
    bool cancelRequested = false;
    isc_tr_handle tr = 0;
    ISC_STATUS_ARRAY status{};
    std::vector<TransactionLevel> levels;
    int serial = 0;
    bool autoStarted = false;
    /// The active transaction holds work that a silent restart on a new attachment would lose.
    bool dirty = false;
    bool recovering = false;
    /// A transaction with work in it went down with its attachment: until the caller rolls back, nothing runs
    /// (it would run in a new transaction, and a commit would keep only the part after the loss).
    std::optional<DatabaseError> lostTransaction;
    bool utf8 = false;
    int dialect = 3;
    int reconnectPauseMs = 3000;
    int prepareCount = 0;
    QString serverVersion;
    std::optional<DatabaseError> lastWarning;
    std::set<DatabaseStatement*> statements;
    std::unique_ptr<DatabaseStatement> scalar;
    QString scalarText;
    std::map<int, std::function<void()>> closeListeners;
    int nextListener = 1;

    ClientApi const& Api() const { return lib->Api(); }
    void Check(ISC_STATUS result) { CheckStatus(*lib, result, status, &lastWarning); }

    QByteArray Encode(const QString& text) const;
    QString Decode(const char* data, qsizetype size) const;

    void Attach();
    void DropAttachment() noexcept;
    void Recover();
    /// Waits before a reconnection attempt; false when a cancel request ended the wait.
    bool PauseBeforeAttempt();
    void ReleaseStatements() noexcept;
    void NotifyClosed();
    void EnsureOpen();
    /// Starts the transaction automatically before a statement of any kind but transaction control.
    void EnsureTransaction(StatementKind kind);
    void StartTransactionLevel(bool automatic);
    void EndInnermost(bool commit);
    void ExecuteImmediateInTransaction(const QString& text);

    /// Runs an operation; a lost connection reattaches and, where that loses no work, runs it again.
    template <class F>
    auto Guarded(bool isFetch, F&& operation) -> decltype(operation()) {
        if (lostTransaction)
            throw *lostTransaction;
        const ServerWait::Call waiting;
        const bool rerunSafe = levels.empty() || (autoStarted && !dirty);
        try {
            return operation();
        } catch (const DatabaseError& e) {
            if (e.Kind() != ekServerGone || !self->AutoReconnect || recovering ||
                (state != ConnectionState::Open && state != ConnectionState::Connecting))
                throw;
            const DatabaseError original = e;
            try {
                Recover();
            } catch (...) {
                if (!rerunSafe)
                    lostTransaction = original;
                throw;
            }
            if (!rerunSafe) {
                lostTransaction = original;
                throw original;
            }
            if (isFetch)
                throw original;
            return operation();
        }
    }
};

} // namespace abd
