#pragma once

#include "firebird/DatabaseConnection.h"
#include "firebird/ServiceSettings.h"
#include "script/ScriptRunner.h"

#include <QDateTime>
#include <QString>
#include <functional>

namespace abd {

class ServiceClient;

enum class Pane { Atualizar, Backup, Compactar, Sql };

struct LoginValues {
    QString Servidor;
    QString BancoDados;
    QString Usuario;
    QString Senha;
};

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
    /// Executes the commands aBackup and aCompactar, whose handlers come back to the run.
    virtual void ExecuteBackup() = 0;
    virtual void ExecuteCompactar() = 0;
    /// The hourglass while the server works; false restores the default cursor.
    virtual void SetBusy(bool busy) = 0;
};

/// The upgrade run behind the update button: login, attachment count, version steps, backup and compaction.
/// Owns the program's one connection and its four upgrade scripts.
class UpgradeRun {
public:
    explicit UpgradeRun(UpgradeHost& host);

    /// The whole run; failures leave it as exceptions.
    void aAtualizarExecute();
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

    /// The local clock; tests pin it.
    std::function<QDateTime()> Now = [] { return QDateTime::currentDateTime(); };

private:
    /// The service settings of the attachment count and of both stages.
    ServiceSettings StageSettings() const;
    /// Runs one service operation on its client, passing its report to the pane's progress callback; returns
    /// the lines the server sent.
    QStringList RunService(ServiceClient& client, Pane pane, const std::function<void(ServiceClient&)>& operation);
    /// A stage's closing lines: an empty line, its start, its end and its duration.
    void AppendTimes(Pane pane, const QDateTime& t0, const QDateTime& t1);

    UpgradeHost& host_;
};

} // namespace abd
