#pragma once

#include "firebird/DatabaseConnection.h"
#include "firebird/Failure.h"
#include "firebird/ServiceSettings.h"
#include "script/ScriptRunner.h"

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <atomic>
#include <functional>
#include <mutex>

namespace abd {

class ServiceClient;

enum class Pane { Atualizar, Backup, Compactar, Sql };

struct LoginValues {
    QString Servidor;
    QString BancoDados;
    QString Usuario;
    QString Senha;
};

/// A run that ended early because the program was asked to end; the work it skipped was never started and
/// nothing half-done was committed.
class RunStopped : public Failure {
public:
    using Failure::Failure;
};

/// How far a run came: when a failure ends it, the phase says which part failed.
enum class RunPhase { Login, Preparing, Backup, Steps, Compaction, Done };

/// What the run needs of the window that hosts it: dialogs, panes, menu marks, commands, cursor.
class UpgradeHost {
public:
    virtual ~UpgradeHost() = default;
    /// Shows a new login dialog filled with `values`; false when it did not end with OK.
    virtual bool Login(LoginValues& values) = 0;
    /// The information dialog that refuses the run while others are attached.
    virtual void Information(const QString& text) = 0;
    /// The final box "Concluído".
    virtual void Concluded() = 0;
    virtual void Append(Pane pane, const QString& line) = 0;
    virtual void SetStatus(const QString& text) = 0;
    /// The scripts' console: the SQL pane and the status bar.
    virtual void ConsolePut(const QString& message) = 0;
    /// The server's report lines of the backup stage and of the compaction.
    virtual void ProgressBackup(const QString& line) = 0;
    virtual void ProgressCompactar(const QString& line) = 0;
    virtual void HideUpdateCommand() = 0;
    virtual bool BackupChecked() = 0;
    virtual bool CompactarChecked() = 0;
    /// Executes the commands aBackup and aCompactar, whose handlers come back to the run. A host that does not
    /// run them (the window and the terminal leave that to the run's session) raises: a stage is never skipped
    /// in silence.
    virtual void ExecuteBackup();
    virtual void ExecuteCompactar();
    /// The hourglass while the server works; false restores the default cursor.
    virtual void SetBusy(bool busy) = 0;
    /// The record of the run cannot be written: said once, in the status bar and the Atualizar pane unless
    /// the host says it elsewhere (the terminal, on standard error).
    virtual void RecordProblem(const QString& text);
};

/// The upgrade run behind the update button: login, attachment count, version steps, backup and compaction.
/// Owns the program's one connection and its four upgrade scripts.
class UpgradeRun {
public:
    explicit UpgradeRun(UpgradeHost& host);

    /// The login dialog's defaults.
    static LoginValues DefaultLogin();
    /// The status text while the program waits for the server's backup or restore before it ends.
    static QString WaitingForServerText();

    /// The whole run; failures leave it as exceptions.
    void aAtualizarExecute();
    /// The run up to the login: false when the login did not end with OK.
    bool AskLogin(LoginValues& login);
    /// The run after the login: attachment count, version, backup, steps, compaction.
    void Proceed(const LoginValues& login);

    /// The rehearsal: the whole upgrade on a scratch copy of the database, while others may still be attached.
    /// The live database is only read (its configuration, and an online backup without garbage collection);
    /// the steps run on a restore of that backup, which is dropped on every way out. Ends with a summary of
    /// what each step would do and how long the real run would take; raises when a step would fail.
    void Rehearse(const LoginValues& login);

    /// Asks the run to end in order, from any thread: a version step is rolled back (its running statement
    /// cancelled), a backup or restore the server is doing is waited for, and no later stage starts.
    void RequestStop();
    bool StopRequested() const { return stop_.load(); }
    /// The stop is what ended the run: it refused a stage, or cancelled what the server was doing for the
    /// run. A failure that a stage met on its own while a stop waited for it (a restore that failed) is not.
    bool StopActed() const { return stopActed_.load(); }
    /// The part of the run in progress, or where it ended.
    RunPhase Phase() const { return phase_.load(); }
    /// The stage in work, by the name OnStageEntry gives it ("versão 3", "restauração"); empty between stages.
    QString StageName() const;
    /// The compaction's backup file, once the compaction has named it; empty before.
    QString CompactionFile() const;
    /// The backup before the version steps.
    void aBackupExecute();
    /// Backup without garbage collection and restore in place.
    void aCompactarExecute();
    int ContarConexoes();
    void AtualizarVersao(int current, int step, ScriptRunner& script);

    DatabaseConnection sqlcPrincipal;
    ScriptRunner sVersao2;
    ScriptRunner sVersao3;
    ScriptRunner sVersao4;
    ScriptRunner sVersao5;

    std::int32_t VersaoBancoDados = 0;
    std::int32_t VersaoBancoDadosAtual = 0;
    QString Servidor;
    QString BancoDados;
    QString Usuario;
    QString Senha;
    QString PastaBackup;

    /// Called on the run's thread right before each stage starts ("contagem", "backup", "versão 2" to "versão
    /// 5", "compactação", "restauração"), outside every lock: tests stop the run exactly there.
    std::function<void(const QString& stage)> OnStageEntry;

    /// The local clock; tests pin it.
    std::function<QDateTime()> Now = [] { return QDateTime::currentDateTime(); };
    /// The system's locale: its upper-case rules for the user name, its separators for the time stamps.
    QLocale Locale = QLocale::system();

private:
    enum class Stage { Between, Preparing, Service, Step };
    class StageScope;
    /// Ends the run with RunStopped once a stop was asked for.
    void ThrowIfStopped();
    void ProceedUnguarded(const LoginValues& login);
    void RehearseUnguarded(const LoginValues& login);
    /// Takes the login into the run's fields and the connection; refuses a text that cannot reach the server.
    void TakeLogin(const LoginValues& login);

    /// The service settings of the attachment count and of both stages.
    ServiceSettings StageSettings() const;
    /// Runs one service operation on its client, passing its report to the pane's progress callback; returns
    /// the lines the server sent.
    QStringList RunService(ServiceClient& client, Pane pane, const std::function<void(ServiceClient&)>& operation);
    /// What a restore into a scratch database reported.
    struct ScratchRestore {
        QStringList Lines;    // the server's lines
        QString ServiceError; // the service's own refusal, as the error box would word it; empty when none
        bool Created = false; // the restore created the database: only then is it ever dropped
        /// The lines or the refusal carry `text` (the server's own English words), in any case.
        bool Says(const QString& text) const;
        bool Failed() const;
    };
    /// Restores `file` into the new database `scratch` (never replacing a file that is there), the server's
    /// lines going to the Compactar pane; a refusal of the service is reported, not raised.
    ScratchRestore RestoreIntoScratch(const QString& file, const QString& scratch);
    /// Reads PASTA_BACKUP and the version from CONFIGURAR over the open connection.
    void ReadConfiguration();
    /// Writes the version line; at version 5 or above also that the database is up to date, and returns true.
    bool ReportVersion();
    /// Restores the compaction's backup into a scratch database beside it, opens it and drops it: raises,
    /// with what went wrong, unless the backup has proved it can replace the database.
    void VerifyBackup(const QString& file, const QDateTime& t0);
    /// A stage's closing lines: an empty line, its start, its end and its duration.
    void AppendTimes(Pane pane, const QDateTime& t0, const QDateTime& t1);

    UpgradeHost& host_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> stopActed_{false};
    std::atomic<RunPhase> phase_{RunPhase::Login};
    std::mutex stageMutex_; // the stage and the script in work, as RequestStop sees them
    Stage stage_ = Stage::Between;
    /// The names of the stage and of the compaction's file, as another thread reads them: never behind a stop
    /// request, which may wait on the server under stageMutex_.
    mutable std::mutex namesMutex_;
    QString stageName_;
    QString compactionFile_;
    ScriptRunner* script_ = nullptr;
};

} // namespace abd
