#include "upgrade/UpgradeRun.h"

#include "firebird/ClientLibrary.h"
#include "firebird/Errors.h"
#include "firebird/Failure.h"
#include "firebird/ParamBlocks.h"
#include "firebird/ServiceClient.h"
#include "upgrade/BackupNames.h"
#include "upgrade/UpgradeScripts.h"

#include <QElapsedTimer>
#include <QLocale>
#include <algorithm>
#include <optional>
#include <stdexcept>

namespace abd {

namespace {
/// The hourglass from construction to every way out.
class Busy {
public:
    explicit Busy(UpgradeHost& host) : host_(host) { host_.SetBusy(true); }
    ~Busy() { host_.SetBusy(false); }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

private:
    UpgradeHost& host_;
};

QString StepNumber(int step) { return QStringLiteral("%1").arg(step, 3, 10, QLatin1Char('0')); }

/// Refuses a text that would not reach the server exactly as it stands, naming where it comes from; the
/// character itself is not shown for a password.
void RefuseUncarried(const QString& where, const QString& text, bool secret, const QString& consequence) {
    const ClientInfo info = InfoOf(ClientLibrary::Load());
    for (TextEncoding encoding : {info.DatabaseText(), info.ServiceText()}) {
        const std::optional<QString> c = UncarriedCharacter(text, encoding);
        if (!c)
            continue;
        QString shown;
        if (!secret) {
            const QChar first = c->at(0);
            shown = first.isPrint() && !first.isSurrogate()
                        ? QStringLiteral(" (\"%1\")").arg(*c)
                        : QStringLiteral(" (U+%1)").arg(first.unicode(), 4, 16, QLatin1Char('0')).toUpper();
        }
        throw UncarriedText(
            QStringLiteral("%1 tem um caractere que não pode ser enviado ao servidor como está%2. %3")
                .arg(where, shown, consequence));
    }
}
} // namespace

/// The stage in work for the time of one scope, as a stop request sees it. Entering it and a stop request
/// take the same lock: a stop asked for before the entry refuses the stage (it never starts), one asked for
/// after it finds the stage running and acts on it.
class UpgradeRun::StageScope {
public:
    StageScope(UpgradeRun& run, Stage stage, const QString& name, ScriptRunner* script = nullptr)
        : run_(run) {
        if (run_.OnStageEntry)
            run_.OnStageEntry(name);
        std::lock_guard lock(run_.stageMutex_);
        refused_ = run_.stop_;
        if (refused_)
            return;
        previous_ = run_.stage_;
        run_.stage_ = stage;
        run_.script_ = script;
        std::lock_guard names(run_.namesMutex_);
        previousName_ = run_.stageName_;
        run_.stageName_ = name;
    }
    ~StageScope() {
        if (refused_)
            return;
        std::lock_guard lock(run_.stageMutex_);
        run_.stage_ = previous_;
        run_.script_ = nullptr;
        std::lock_guard names(run_.namesMutex_);
        run_.stageName_ = previousName_;
    }
    StageScope(const StageScope&) = delete;
    StageScope& operator=(const StageScope&) = delete;

    /// A stop came first: the stage must not start.
    bool Refused() const { return refused_; }
    /// Ends the run for the stop when the stage was refused.
    void ThrowIfRefused() const {
        if (refused_)
            run_.ThrowIfStopped();
    }

private:
    UpgradeRun& run_;
    Stage previous_ = Stage::Between;
    QString previousName_;
    bool refused_ = false;
};

UpgradeRun::UpgradeRun(UpgradeHost& host)
    : sqlcPrincipal(QStringLiteral("lortu"), StoredConnectionSettings()), sVersao2(QStringLiteral("sVersao2"), &sqlcPrincipal),
      sVersao3(QStringLiteral("sVersao3"), &sqlcPrincipal), sVersao4(QStringLiteral("sVersao4"), &sqlcPrincipal),
      sVersao5(QStringLiteral("sVersao5"), &sqlcPrincipal), host_(host) {
    sqlcPrincipal.AutoReconnect = true;
    sqlcPrincipal.TransactionIsolation = Isolation::ReadCommitted;
    int version = 2;
    for (ScriptRunner* s : {&sVersao2, &sVersao3, &sVersao4, &sVersao5}) {
        ConfigureUpgradeScript(*s, version++);
        s->OnConsolePut = [this](ScriptRunner&, const QString& message, ConsoleKind) { host_.ConsolePut(message); };
        // A stop asked for just before a pass starts would be forgotten by the pass's start: the pass asks too.
        s->StopWhen = [this] { return stop_.load(); };
    }
}

ServiceSettings UpgradeRun::StageSettings() const {
    ServiceSettings s;
    s.SetHost(Servidor);
    s.Protocol = ipTCPIP;
    s.UserName = Usuario;
    s.Password = Senha;
    s.Database = BancoDados;
    return s;
}

void UpgradeHost::RecordProblem(const QString& text) {
    SetStatus(text);
    Append(Pane::Atualizar, text);
}

void UpgradeHost::ExecuteBackup() { throw std::logic_error("the backup stage has no host to run it"); }
void UpgradeHost::ExecuteCompactar() { throw std::logic_error("the compaction has no host to run it"); }

LoginValues UpgradeRun::DefaultLogin() {
    return {kLocalServer, QStringLiteral("LORTU"), QStringLiteral("SYSDBA"), QStringLiteral("pomelarix")};
}

QString UpgradeRun::WaitingForServerText() { return QStringLiteral("Aguardando o servidor terminar..."); }

void UpgradeRun::RequestStop() {
    std::lock_guard lock(stageMutex_);
    stop_ = true;
    switch (stage_) {
    case Stage::Service:
        // The server's job runs to its end: a restore stopped half-way would leave no database at all.
        host_.SetStatus(WaitingForServerText());
        break;
    case Stage::Step:
        stopActed_ = true;
        if (script_)
            script_->AbortJob();
        break;
    case Stage::Preparing:
        stopActed_ = true;
        sqlcPrincipal.CancelOperation();
        break;
    case Stage::Between:
        break;
    }
}

void UpgradeRun::ThrowIfStopped() {
    if (!stop_)
        return;
    stopActed_ = true;
    throw RunStopped(QStringLiteral("Atualização interrompida."));
}

int UpgradeRun::ContarConexoes() {
    ServiceClient client;
    Busy busy(host_);
    ServiceSettings s = StageSettings();
    s.Database.clear();
    return client.GetUsage(s).Attachments;
}

void UpgradeRun::aAtualizarExecute() {
    LoginValues login;
    if (AskLogin(login))
        Proceed(login);
}

bool UpgradeRun::AskLogin(LoginValues& login) {
    VersaoBancoDadosAtual = 5;
    login = DefaultLogin();
    return host_.Login(login);
}

void UpgradeRun::Proceed(const LoginValues& login) {
    try {
        ProceedUnguarded(login);
    } catch (...) {
        // Whatever ended the run once a stop was asked for (a cancelled statement too) ended it for the stop.
        if (stop_)
            host_.Append(Pane::Atualizar, QStringLiteral("Atualização interrompida."));
        throw;
    }
}

void UpgradeRun::TakeLogin(const LoginValues& login) {
    VersaoBancoDadosAtual = 5;
    phase_ = RunPhase::Preparing;
    sqlcPrincipal.SetParam(QStringLiteral("Server"), login.Servidor);
    sqlcPrincipal.SetParam(QStringLiteral("Database"), login.BancoDados);
    sqlcPrincipal.SetParam(QStringLiteral("User_Name"), login.Usuario);
    sqlcPrincipal.SetParam(QStringLiteral("Password"), login.Senha);
    // What a rehearsal set for its reading of the live database never carries over to a run.
    sqlcPrincipal.SetParam(QStringLiteral("NoGarbageCollect"), QString());
    sqlcPrincipal.ReadOnly = false;
    Servidor = login.Servidor;
    BancoDados = login.BancoDados;
    Usuario = Locale.toUpper(login.Usuario);
    Senha = login.Senha;

    // A name that the client library would change on the way (or replace) is refused before anything is done.
    const QString nothingDone = QStringLiteral("Nada foi feito.");
    RefuseUncarried(QStringLiteral("O campo Servidor"), login.Servidor, false, nothingDone);
    RefuseUncarried(QStringLiteral("O campo Banco Dados"), login.BancoDados, false, nothingDone);
    RefuseUncarried(QStringLiteral("O campo Usuário"), login.Usuario, false, nothingDone);
    RefuseUncarried(QStringLiteral("O campo Usuário"), Usuario, false, nothingDone);
    RefuseUncarried(QStringLiteral("O campo Senha"), login.Senha, true, nothingDone);
}

void UpgradeRun::ProceedUnguarded(const LoginValues& login) {
    TakeLogin(login);

    {
        StageScope stage(*this, Stage::Preparing, QStringLiteral("contagem"));
        stage.ThrowIfRefused();
        const int attached = ContarConexoes();
        if (attached >= 1) {
            host_.Information(QStringLiteral("Usuário conectado: ") + QString::number(attached) +
                              QStringLiteral("\n\nSair todos."));
            sqlcPrincipal.Close();
            return;
        }
        ThrowIfStopped();

        sqlcPrincipal.Open();
        host_.HideUpdateCommand();
        host_.Append(Pane::Atualizar, QStringLiteral("-----------------"));
        ReadConfiguration();
        // The queries' transaction ends here, so that every version step runs in a transaction of its own whose
        // commit is a real one: a success line never stands for work that a later close might fail to commit.
        if (sqlcPrincipal.InTransaction())
            sqlcPrincipal.Commit();
    }
    if (ReportVersion())
        return;

    if (host_.BackupChecked() || host_.CompactarChecked())
        RefuseUncarried(QStringLiteral("A pasta de backup de CONFIGURAR (PASTA_BACKUP)"), PastaBackup, false,
                        QStringLiteral("Nada foi alterado."));
    ThrowIfStopped();
    if (host_.BackupChecked()) {
        const QString line = QStringLiteral("Backup versão ") + QString::number(VersaoBancoDados);
        host_.Append(Pane::Atualizar, QString());
        host_.Append(Pane::Atualizar, line);
        host_.Append(Pane::Backup, line);
        phase_ = RunPhase::Backup;
        host_.ExecuteBackup();
    }
    ThrowIfStopped();
    phase_ = RunPhase::Steps;
    host_.Append(Pane::Atualizar, QString());
    AtualizarVersao(VersaoBancoDados, 2, sVersao2);
    AtualizarVersao(VersaoBancoDados, 3, sVersao3);
    AtualizarVersao(VersaoBancoDados, 4, sVersao4);
    AtualizarVersao(VersaoBancoDados, 5, sVersao5);
    if (host_.CompactarChecked()) {
        ThrowIfStopped();
        host_.Append(Pane::Atualizar, QString());
        host_.Append(Pane::Atualizar, QStringLiteral("Compactar"));
        phase_ = RunPhase::Compaction;
        host_.ExecuteCompactar();
    }
    sqlcPrincipal.Close();
    phase_ = RunPhase::Done;
    host_.SetStatus(QStringLiteral("Concluído."));
    host_.Concluded();
}

void UpgradeRun::ReadConfiguration() {
    PastaBackup = sqlcPrincipal.ExecSQLScalar(QStringLiteral("SELECT PASTA_BACKUP FROM CONFIGURAR WHERE ID = 1")).ToText();
    VersaoBancoDados =
        sqlcPrincipal.ExecSQLScalar(QStringLiteral("SELECT VERSAO_BANCO_DADOS FROM CONFIGURAR WHERE ID = 1")).ToInteger();
}

bool UpgradeRun::ReportVersion() {
    host_.Append(Pane::Atualizar, QStringLiteral("Banco dados versão ") + QString::number(VersaoBancoDados));
    if (VersaoBancoDados < VersaoBancoDadosAtual)
        return false;
    host_.Append(Pane::Atualizar, QString());
    host_.Append(Pane::Atualizar, QStringLiteral("Banco dados já esta atualizado."));
    phase_ = RunPhase::Done;
    return true;
}

void UpgradeRun::AtualizarVersao(int current, int step, ScriptRunner& script) {
    if (current >= step)
        return;
    StageScope stage(*this, Stage::Step, QStringLiteral("versão %1").arg(step), &script);
    stage.ThrowIfRefused();
    sqlcPrincipal.StartTransaction();
    try {
        script.ValidateAll();
        ThrowIfStopped();
        script.ExecuteAll();
        // A stop that came while the script ran has skipped its remaining statements: nothing is committed.
        ThrowIfStopped();
        // When the connection was lost in the middle of the script, this commit fails: the connection keeps
        // the step's transaction as lost until it is rolled back below.
        sqlcPrincipal.Commit();
        host_.Append(Pane::Atualizar, StepNumber(step) + QStringLiteral(" versão atualizada com sucesso."));
    } catch (...) {
        host_.Append(Pane::Atualizar, StepNumber(step) + QStringLiteral(" Erro: versão não foi atualizada."));
        sqlcPrincipal.Rollback();
        throw;
    }
    sqlcPrincipal.Close();
    sqlcPrincipal.Open();
}

void UpgradeRun::aBackupExecute() {
    StageScope stage(*this, Stage::Service, QStringLiteral("backup"));
    stage.ThrowIfRefused();
    ServiceClient client;
    const QDateTime t0 = Now();
    const QString file = BackupStageFileName(PastaBackup, BancoDados, t0, VersaoBancoDados);
    host_.Append(Pane::Backup, QStringLiteral("Backup:"));
    host_.Append(Pane::Backup, file);
    host_.Append(Pane::Backup, LogStamp(t0, Locale) + QStringLiteral(" Início"));
    host_.Append(Pane::Backup, QString());
    Busy busy(host_);
    BackupRequest request;
    request.BackupFiles = {file};
    request.Verbose = true;
    const QStringList serverLines =
        RunService(client, Pane::Backup, [&](ServiceClient& c) { c.Backup(StageSettings(), request); });
    const QDateTime t1 = Now();
    AppendTimes(Pane::Backup, t0, t1);
    if (HasErrorMarker(serverLines))
        throw Failure(QStringLiteral("Erro Backup"));
}

QStringList UpgradeRun::RunService(ServiceClient& client, Pane pane,
                                   const std::function<void(ServiceClient&)>& operation) {
    QStringList lines;
    client.OnProgress = [&](ServiceClient&, const QString& line) {
        lines << line;
        if (pane == Pane::Backup)
            host_.ProgressBackup(line);
        else
            host_.ProgressCompactar(line);
    };
    operation(client);
    return lines;
}

void UpgradeRun::VerifyBackup(const QString& file, const QDateTime& t0) {
    // A backup that nobody has restored may not restore: an index whose keys collide when it is rebuilt, a
    // disk that fills. Replacing the database with it would leave the database shut down, or gone. It is
    // restored once into a scratch database first; only a restore without error and a database that then
    // opens online let the replace start.
    const QString scratch = VerificationFileName(file);
    StageScope stage(*this, Stage::Service, QStringLiteral("verificação"));
    if (stage.Refused()) {
        AppendTimes(Pane::Compactar, t0, Now());
        stage.ThrowIfRefused();
    }
    host_.Append(Pane::Compactar, QString());
    host_.Append(Pane::Compactar, QStringLiteral("Verificação do backup: restauração em ") + scratch);

    const ScratchRestore restored = RestoreIntoScratch(file, scratch);
    bool created = restored.Created;
    const QString unchanged = QStringLiteral("O banco de dados continua como estava, já na versão 5.");
    QString failure;
    if (restored.Says(QStringLiteral("not allowed by server configuration")))
        failure = QStringLiteral("A compactação não foi feita: o servidor não permite criar o banco de verificação %1 "
                                 "(DatabaseAccess, no firebird.conf do servidor), e sem verificar o backup %2 o "
                                 "programa não o restaura no lugar do banco de dados. %3")
                      .arg(scratch, file, unchanged);
    else if (!created && (restored.Says(QStringLiteral("already exists")) || restored.Says(QStringLiteral("File exists"))))
        failure = QStringLiteral("A compactação não foi feita: já existe o arquivo %1 no servidor, onde o backup seria "
                                 "restaurado para verificação. %2")
                      .arg(scratch, unchanged);
    else if (restored.Failed())
        failure = QStringLiteral("A compactação não foi feita: o backup %1 não pôde ser restaurado. %2").arg(file, unchanged);

    DatabaseConnection verification(QStringLiteral("verificacao"), sqlcPrincipal.Params());
    verification.AutoReconnect = false;
    verification.SetParam(QStringLiteral("Database"), scratch);
    if (failure.isEmpty()) {
        try {
            verification.Open();
            created = true;
            // Online, and the upgraded data readable.
            const Value mode = verification.ExecSQLScalar(QStringLiteral("SELECT MON$SHUTDOWN_MODE FROM MON$DATABASE"));
            const Value version = verification.ExecSQLScalar(QStringLiteral("SELECT VERSAO_BANCO_DADOS FROM CONFIGURAR"));
            if (mode.ToInteger() != 0 || version.ToInteger() < 5)
                failure = QStringLiteral("A compactação não foi feita: o banco restaurado do backup %1 não ficou "
                                         "utilizável. %2")
                              .arg(file, unchanged);
        } catch (const AccessError&) {
            failure = QStringLiteral("A compactação não foi feita: o banco restaurado do backup %1 não abriu (%2). %3")
                          .arg(file, ErrorBoxText(std::current_exception()), unchanged);
        }
    }
    if (created) {
        try {
            verification.DropDatabase();
        } catch (const AccessError&) {
            const QString left = QStringLiteral("O banco de verificação %1 não pôde ser apagado (%2): apague-o no "
                                                "servidor.")
                                     .arg(scratch, ErrorBoxText(std::current_exception()));
            failure = failure.isEmpty() ? QStringLiteral("A compactação não foi feita. %1 %2").arg(left, unchanged)
                                        : failure + QLatin1Char(' ') + left;
        }
    }
    if (!failure.isEmpty()) {
        AppendTimes(Pane::Compactar, t0, Now());
        throw Failure(failure);
    }
    host_.Append(Pane::Compactar, QStringLiteral("Backup verificado: o banco restaurado abriu e foi apagado."));
}

bool UpgradeRun::ScratchRestore::Says(const QString& text) const {
    return ServiceError.contains(text, Qt::CaseInsensitive) ||
           std::any_of(Lines.cbegin(), Lines.cend(), [&](const QString& l) { return l.contains(text, Qt::CaseInsensitive); });
}

bool UpgradeRun::ScratchRestore::Failed() const { return !ServiceError.isEmpty() || HasErrorMarker(Lines); }

UpgradeRun::ScratchRestore UpgradeRun::RestoreIntoScratch(const QString& file, const QString& scratch) {
    RestoreRequest restore;
    restore.BackupFiles = {file};
    restore.Verbose = true; // its "created database" line says what may be dropped
    ServiceSettings settings = StageSettings();
    settings.Database = scratch;
    ScratchRestore result;
    ServiceClient client;
    client.OnProgress = [&](ServiceClient&, const QString& line) {
        result.Lines << line;
        host_.ProgressCompactar(line);
    };
    try {
        client.Restore(settings, restore);
    } catch (const DatabaseError&) {
        // The service's own refusal goes into the pane beside the server's lines.
        result.ServiceError = ErrorBoxText(std::current_exception());
        host_.Append(Pane::Compactar, result.ServiceError);
    }
    result.Created = result.Says(QStringLiteral("created database"));
    return result;
}

QString UpgradeRun::StageName() const {
    std::lock_guard lock(namesMutex_);
    return stageName_;
}

QString UpgradeRun::CompactionFile() const {
    std::lock_guard lock(namesMutex_);
    return compactionFile_;
}

void UpgradeRun::AppendTimes(Pane pane, const QDateTime& t0, const QDateTime& t1) {
    host_.Append(pane, QString());
    host_.Append(pane, LogStamp(t0, Locale) + QStringLiteral(" Início"));
    host_.Append(pane, LogStamp(t1, Locale) + QStringLiteral(" Fim"));
    host_.Append(pane, DurationStamp(t0.msecsTo(t1)) + QStringLiteral(" Tempo"));
}

void UpgradeRun::aCompactarExecute() {
    // From the close of the connection (a network call) to the end of the backup, a stop waits for the
    // server.
    std::optional<StageScope> closeAndBackup(std::in_place, *this, Stage::Service,
                                             QStringLiteral("compactação"));
    closeAndBackup->ThrowIfRefused();
    const QDateTime t0 = Now();
    host_.Append(Pane::Compactar, QString());
    const QString file = CompactionFileName(PastaBackup, BancoDados, t0);
    {
        std::lock_guard lock(namesMutex_);
        compactionFile_ = file;
    }
    host_.Append(Pane::Compactar, file);
    host_.Append(Pane::Compactar, LogStamp(t0, Locale) + QStringLiteral(" Início"));
    host_.Append(Pane::Compactar, QString());
    Busy busy(host_);
    host_.Append(Pane::Compactar, QStringLiteral("Close Database"));
    sqlcPrincipal.Close();
    host_.Append(Pane::Compactar, QString());
    host_.Append(Pane::Compactar, QStringLiteral("Backup"));

    BackupRequest backup;
    backup.BackupFiles = {file};
    backup.Verbose = true;
    backup.Options = boNoGarbageCollect;
    QStringList backupLines;
    {
        ServiceClient client;
        backupLines = RunService(client, Pane::Compactar, [&](ServiceClient& c) { c.Backup(StageSettings(), backup); });
    }
    closeAndBackup.reset();
    if (HasErrorMarker(backupLines))
        throw Failure(QStringLiteral("Erro Backup"));
    VerifyBackup(file, t0);
    StageScope restoreStage(*this, Stage::Service, QStringLiteral("restauração"));
    if (restoreStage.Refused()) {
        // The database is untouched and the steps are committed: the restore is not started.
        AppendTimes(Pane::Compactar, t0, Now());
        restoreStage.ThrowIfRefused();
    }
    host_.Append(Pane::Compactar, QString());

    RestoreRequest restore;
    restore.BackupFiles = {file};
    restore.Verbose = true;
    restore.Options = roReplace;
    QStringList restoreLines;
    {
        ServiceClient client;
        restoreLines = RunService(client, Pane::Compactar, [&](ServiceClient& c) { c.Restore(StageSettings(), restore); });
    }
    const QDateTime t1 = Now();
    AppendTimes(Pane::Compactar, t0, t1);
    if (HasErrorMarker(restoreLines))
        throw Failure(QStringLiteral("Erro Restaurar"));
}

// ---- The rehearsal ----

void UpgradeRun::Rehearse(const LoginValues& login) {
    try {
        RehearseUnguarded(login);
    } catch (...) {
        if (stop_)
            host_.Append(Pane::Atualizar, QStringLiteral("Ensaio interrompido."));
        throw;
    }
}

void UpgradeRun::RehearseUnguarded(const LoginValues& login) {
    TakeLogin(login);
    // Others may be attached: there is no count and no refusal, since the live database is only read.
    {
        StageScope stage(*this, Stage::Preparing, QStringLiteral("leitura"));
        stage.ThrowIfRefused();
        sqlcPrincipal.SetParam(QStringLiteral("NoGarbageCollect"), QStringLiteral("True"));
        sqlcPrincipal.ReadOnly = true;
        sqlcPrincipal.Open();
        host_.Append(Pane::Atualizar, QStringLiteral("-----------------"));
        host_.Append(Pane::Atualizar, QStringLiteral("Ensaio da atualização: o banco de dados só é lido; as versões "
                                                     "são aplicadas numa cópia, apagada no fim."));
        ReadConfiguration();
        sqlcPrincipal.Rollback();
        sqlcPrincipal.Close();
        sqlcPrincipal.SetParam(QStringLiteral("NoGarbageCollect"), QString());
        sqlcPrincipal.ReadOnly = false;
    }
    if (ReportVersion())
        return;
    RefuseUncarried(QStringLiteral("A pasta de backup de CONFIGURAR (PASTA_BACKUP)"), PastaBackup, false,
                    QStringLiteral("Nada foi alterado."));

    const QDateTime t0 = Now();
    const QString file = RehearsalBackupName(PastaBackup, BancoDados, t0);
    const QString scratch = RehearsalDatabaseName(PastaBackup, BancoDados, t0);
    QElapsedTimer clock;

    // An online backup without garbage collection: the live database gives its pages and nothing else.
    phase_ = RunPhase::Backup;
    qint64 backupMs = 0;
    {
        StageScope stage(*this, Stage::Service, QStringLiteral("backup do ensaio"));
        stage.ThrowIfRefused();
        host_.Append(Pane::Backup, QStringLiteral("Backup do ensaio:"));
        host_.Append(Pane::Backup, file);
        host_.Append(Pane::Backup, LogStamp(Now(), Locale) + QStringLiteral(" Início"));
        host_.Append(Pane::Backup, QString());
        Busy busy(host_);
        BackupRequest backup;
        backup.BackupFiles = {file};
        backup.Verbose = true;
        backup.Options = boNoGarbageCollect;
        clock.start();
        QStringList lines;
        {
            ServiceClient client;
            lines = RunService(client, Pane::Backup, [&](ServiceClient& c) { c.Backup(StageSettings(), backup); });
        }
        backupMs = clock.elapsed();
        host_.Append(Pane::Backup, QString());
        host_.Append(Pane::Backup, DurationStamp(backupMs) + QStringLiteral(" Tempo"));
        if (HasErrorMarker(lines))
            throw Failure(QStringLiteral("Erro Backup"));
    }

    // From here on the scratch database may exist: it is dropped on every way out, and only when this
    // rehearsal's restore created it.
    bool created = false;
    struct ScratchDrop {
        UpgradeRun& run;
        bool& created;
        const QString& scratch;
        ~ScratchDrop() { Now(); }
        void Now() {
            if (!created)
                return;
            created = false;
            try {
                run.sqlcPrincipal.SetParam(QStringLiteral("Database"), scratch);
                run.sqlcPrincipal.DropDatabase();
            } catch (...) {
                run.host_.Append(Pane::Atualizar,
                                 QStringLiteral("A cópia do ensaio %1 não pôde ser apagada (%2): apague-a no servidor.")
                                     .arg(scratch, ErrorBoxText(std::current_exception())));
            }
            // Closed whatever happened, so that pointing it back at the live database commits nothing.
            run.sqlcPrincipal.Disconnect();
            run.sqlcPrincipal.SetParam(QStringLiteral("Database"), run.BancoDados);
        }
    } drop{*this, created, scratch};

    qint64 restoreMs = 0;
    {
        StageScope stage(*this, Stage::Service, QStringLiteral("restauração do ensaio"));
        stage.ThrowIfRefused();
        host_.Append(Pane::Compactar, QString());
        host_.Append(Pane::Compactar, QStringLiteral("Restauração do ensaio em ") + scratch);
        Busy busy(host_);
        clock.start();
        const ScratchRestore restored = RestoreIntoScratch(file, scratch);
        created = restored.Created;
        restoreMs = clock.elapsed();
        host_.Append(Pane::Compactar, QString());
        host_.Append(Pane::Compactar, DurationStamp(restoreMs) + QStringLiteral(" Tempo"));
        if (restored.Failed())
            throw Failure(QStringLiteral("O ensaio não pôde ser feito: o backup %1 não pôde ser restaurado na cópia %2. "
                                         "O banco de dados não foi alterado.")
                              .arg(file, scratch));
    }

    // Every step above the version, on the copy, each committed on its own as the run does.
    phase_ = RunPhase::Steps;
    sqlcPrincipal.SetParam(QStringLiteral("Database"), scratch);
    sqlcPrincipal.Open();
    host_.Append(Pane::Atualizar, QString());
    struct Outcome {
        int step;
        qint64 ms;
        QString failure;
    };
    std::vector<Outcome> outcomes;
    ScriptRunner* scripts[] = {&sVersao2, &sVersao3, &sVersao4, &sVersao5};
    int failed = 0;
    for (int step = 2; step <= 5; ++step) {
        if (VersaoBancoDados >= step)
            continue;
        clock.start();
        try {
            AtualizarVersao(VersaoBancoDados, step, *scripts[step - 2]);
            outcomes.push_back({step, clock.elapsed(), QString()});
        } catch (...) {
            if (stop_)
                throw;
            outcomes.push_back({step, clock.elapsed(), ErrorBoxText(std::current_exception())});
            failed = step;
            break;
        }
    }
    if (sqlcPrincipal.Connected() && sqlcPrincipal.InTransaction())
        sqlcPrincipal.Rollback();
    sqlcPrincipal.Close();
    drop.Now();

    // The summary, in the program's own voice.
    qint64 stepsMs = 0;
    host_.Append(Pane::Atualizar, QString());
    host_.Append(Pane::Atualizar, QStringLiteral("Resumo do ensaio:"));
    host_.Append(Pane::Atualizar, QStringLiteral("Backup: %1").arg(DurationStamp(backupMs)));
    host_.Append(Pane::Atualizar, QStringLiteral("Restauração na cópia: %1").arg(DurationStamp(restoreMs)));
    for (const Outcome& o : outcomes) {
        stepsMs += o.ms;
        host_.Append(Pane::Atualizar,
                     o.failure.isEmpty()
                         ? QStringLiteral("Versão %1: seria aplicada (%2).").arg(o.step).arg(DurationStamp(o.ms))
                         : QStringLiteral("Versão %1: falharia (%2): %3").arg(o.step).arg(DurationStamp(o.ms)).arg(o.failure));
    }
    for (int step = failed ? failed + 1 : 6; step <= 5; ++step)
        host_.Append(Pane::Atualizar,
                     QStringLiteral("Versão %1: não ensaiada, pois a versão %2 falharia.").arg(step).arg(failed));
    // The real run: its backup, the steps, then the compaction's backup and its two restores (the
    // verification and the replace).
    const qint64 estimateMs = backupMs + stepsMs + backupMs + 2 * restoreMs;
    host_.Append(Pane::Atualizar, QStringLiteral("Estimativa da atualização neste banco de dados: %1 (backup, versões "
                                                 "e compactação com a verificação).")
                                      .arg(DurationStamp(estimateMs)));
    if (failed)
        throw Failure(QStringLiteral("Ensaio: a versão %1 falharia. O banco de dados não foi alterado.").arg(failed));
    host_.Append(Pane::Atualizar, QStringLiteral("Ensaio concluído: todas as versões seriam aplicadas."));
    phase_ = RunPhase::Done;
    host_.SetStatus(QStringLiteral("Ensaio concluído."));
}

} // namespace abd
