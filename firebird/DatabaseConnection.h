#pragma once

#include "firebird/ConnectionSettings.h"
#include "firebird/ParamBlocks.h"
#include "firebird/Value.h"

#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace abd {

class DatabaseStatement;

struct TransactionLevel {
    QString Name;
    int Serial = 0;
};

enum class ConnectionState { Closed, Connecting, Open, Recovering };

/// One attachment to a Firebird database with one transaction (nested through savepoints), automatic
/// transaction start, commit on close and reconnection after a lost connection.
class DatabaseConnection {
public:
    explicit DatabaseConnection(QString name = QString(), ConnectionSettings settings = ConnectionSettings());
    /// Closes quietly: commits what is still active, as closing does, and swallows any failure.
    ~DatabaseConnection();
    DatabaseConnection(const DatabaseConnection&) = delete;
    DatabaseConnection& operator=(const DatabaseConnection&) = delete;

    const QString& Name() const;
    const ConnectionSettings& Params() const;
    QString Param(const QString& name) const;
    /// Writing a parameter of an open connection closes it first (committing), even for the same value.
    void SetParam(const QString& name, const QString& value);

    // Options.
    bool AutoReconnect = true;
    Isolation TransactionIsolation = Isolation::ReadCommitted;
    bool ReadOnly = false;
    bool LockWait = false;
    /// The pause before the second and third reconnection attempts; 3 seconds unless a test shortens it.
    void SetReconnectPause(int milliseconds);

    void Open();
    void Close();
    /// Detaches without committing anything: the server rolls back what is still active. For when a rollback
    /// failed and closing (which commits) must not follow.
    void Disconnect() noexcept;
    /// Drops the database this connection names, opening it first when closed: what is active is rolled
    /// back, the server deletes the file, and the connection ends closed. Raises what the server raises (the
    /// connection is then closed too, and the database is still there).
    void DropDatabase();
    bool Connected() const;
    ConnectionState State() const;

    /// Asks the server to cancel the statement it is running for this connection, and ends the pauses of a
    /// reconnection in progress. The one call that may come from another thread while the connection works.
    void CancelOperation();

    void StartTransaction();
    void Commit();
    void Rollback();
    /// The nesting list is not empty, or a transaction lost with its attachment waits for its rollback.
    bool InTransaction() const;
    const std::vector<TransactionLevel>& Levels() const;

    /// First column of the first row: empty without a row, null for NULL, else the typed value.
    Value ExecSQLScalar(const QString& text);
    std::unique_ptr<DatabaseStatement> CreateStatement();

    /// Called after the connection has closed (also when a failed reconnection closed it).
    int AddCloseListener(std::function<void()> listener);
    void RemoveCloseListener(int id);

    /// The server's version text read after attaching, for information.
    const QString& ServerVersionText() const;
    /// How many statements have been prepared on the server since this object was made.
    int ServerPrepareCount() const;
    /// The encoding of texts exchanged with the server: the system code page, or UTF-8.
    bool Utf8() const;

    struct Impl;

private:
    friend class DatabaseStatement;
    std::unique_ptr<Impl> d;
};

} // namespace abd
