#pragma once

#include "script/ScriptOptions.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <atomic>
#include <mutex>
#include <optional>

namespace abd {

class DatabaseConnection;
class DatabaseStatement;
class ScriptCommand;
class ScriptParser;

enum ConsoleKind {
    soSeparator,
    soEcho,
    soScript,
    soInfo,
    soError,
    soConnect,
    soServerOutput,
    soUserOutput,
    soCommand,
    soMacro,
    soData,
    soParam,
};

enum ScriptStatus { ssInactive, ssValidating, ssRunning, ssFinishWithErrors, ssFinishSuccess, ssAborted };

enum class ScriptEnd { Commit, Rollback, Leave };

/// Shows the SQL-wait cursor for a pass and takes it down a little after, so consecutive passes keep one.
class WaitCursor {
public:
    virtual ~WaitCursor() = default;
    virtual void Show() = 0;
    /// Takes the cursor down after the delay unless it is shown again meanwhile.
    virtual void HideAfter(int milliseconds) = 0;
};

struct ScriptItem {
    ScriptItem() = default;
    ScriptItem(QString name, QStringList sql) : Name(std::move(name)), SQL(std::move(sql)) {}

    QString Name;
    /// The script's lines, read joined with CR LF.
    QStringList SQL;
    /// Or the script as one text with the line breaks it has (read from a file); used when not null.
    QString Text;
};

/// A script file as a script item named after the file: its text decoded as UTF-8 (as Windows-1252 when it is
/// not valid UTF-8), its line breaks as the file has them. Raises a Failure when the file cannot be read.
ScriptItem ReadScriptFile(const QString& path);

class ScriptRunner;
using ConsoleCallback = std::function<void(ScriptRunner& runner, const QString& message, ConsoleKind kind)>;

/// Runs one SQL script against a connection in a validation pass and an execution pass, reporting every
/// step as console messages.
class ScriptRunner {
public:
    explicit ScriptRunner(QString name = QString(), DatabaseConnection* connection = nullptr);
    ~ScriptRunner();
    ScriptRunner(const ScriptRunner&) = delete;
    ScriptRunner& operator=(const ScriptRunner&) = delete;

    const QString& Name() const { return name_; }
    DatabaseConnection* Connection() const { return connection_; }
    void SetConnection(DatabaseConnection* connection);

    QList<ScriptItem> SQLScripts;
    ScriptOptions Options;
    QMap<QString, QString> Macros;
    /// Values of the ":NAME" markers of statements, by name in any letter case; a null or missing one is NULL.
    QMap<QString, QVariant> Params;
    QStringList Arguments;
    ConsoleCallback OnConsolePut;
    /// Asked before each command of a pass and before each statement goes to the server: true ends the pass as
    /// AbortJob does. Unlike AbortJob, it also stops a pass that had not started yet when the caller decided.
    std::function<bool()> StopWhen;
    WaitCursor* Cursor = nullptr;

    /// The validation pass: parses the whole script and sends nothing to the database.
    bool ValidateAll();
    /// The execution pass; true when it counted no error.
    bool ExecuteAll();
    /// Asks a running pass to stop at the next command and the server to cancel the statement it is running;
    /// may be called from another thread.
    void AbortJob();

    ScriptStatus Status() const;
    int TotalErrors() const;

    // Used by the script commands and the parser.
    void ConsolePut(const QString& message, ConsoleKind kind);
    void EchoCommand(const ScriptCommand& command, QStringView extent);
    void ExecuteStatement(ScriptCommand& statement);
    void EndScript(ScriptEnd how);
    bool StopRequested() const { return stop_.load(std::memory_order_relaxed); }
    bool Validating() const { return validating_; }

private:
    bool RunPass(bool validating);
    /// Whether the pass is to stop (AbortJob or StopWhen), marking it aborted; with mutex_ held.
    bool HaltedLocked();
    void OpenLink();
    void DropLink();
    void PrintRows(DatabaseStatement& statement);
    QString ExpandMacros(const QString& text) const;
    /// The value of a parameter by name, in any letter case, as text; none for NULL or a missing one.
    std::optional<QString> ParamValue(const QString& name) const;
    QString TimingText(qint64 elapsedMs) const;

    QString name_;
    DatabaseConnection* connection_ = nullptr;
    std::unique_ptr<DatabaseStatement> statement_;
    int closeListener_ = 0;
    ScriptParser* parser_ = nullptr;
    bool validating_ = false;
    bool finished_ = false;
    int commandsSinceCommit_ = 0;
    ScriptStatus status_ = ssInactive;
    int totalErrors_ = 0;
    std::atomic<bool> stop_ = false;
    bool executing_ = false; // a statement is at the server; guarded by mutex_
    mutable std::mutex mutex_;
};

} // namespace abd
