#include "upgrade/RunSession.h"

#include "firebird/Errors.h"
#include "firebird/ServerWait.h"
#include "upgrade/BackupNames.h"

#include <QElapsedTimer>
#include <QMetaObject>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>

namespace abd {

namespace {
/// A drain that runs longer than this hands the rest of the queue to a later turn of the event loop, so that
/// a burst of lines never keeps the window from painting, moving or answering.
constexpr int kDrainBudgetMs = 20;
/// How often the session looks at the server's silence.
constexpr int kWatchIntervalMs = 500;
/// After the silence limit, what a stop request still gives the run to end in order.
constexpr int kAbandonGraceMs = 5000;

std::chrono::seconds SilenceLimitFromEnvironment() {
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("ABD_SILENCIO_MAXIMO", &ok);
    return std::chrono::seconds(ok && seconds > 0 ? seconds : 60);
}
} // namespace

// ---- QueuedHost ----

void QueuedHost::TakeMarks() {
    backup_ = target_.BackupChecked();
    compactar_ = target_.CompactarChecked();
}

void QueuedHost::Post(std::function<void()> call) {
    bool queue = false;
    {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
        queue = !drainQueued_;
        drainQueued_ = true;
    }
    if (queue)
        QMetaObject::invokeMethod(context_, [this] { Drain(); }, Qt::QueuedConnection);
}

void QueuedHost::Drain() {
    {
        std::lock_guard lock(mutex_);
        drainQueued_ = false;
    }
    QElapsedTimer budget;
    budget.start();
    for (;;) {
        std::function<void()> call;
        {
            std::lock_guard lock(mutex_);
            if (calls_.empty())
                return;
            call = std::move(calls_.front());
            calls_.pop_front();
        }
        // A call may open a modal box; a drain inside its event loop goes on with the queue, still in order.
        try {
            call();
        } catch (...) {
            // What the call raised goes to the event loop's error trap; the calls after it, the run's end
            // among them, are still carried out.
            QueueRest();
            throw;
        }
        if (budget.elapsed() >= kDrainBudgetMs) {
            QueueRest();
            return;
        }
    }
}

void QueuedHost::QueueRest() {
    std::lock_guard lock(mutex_);
    if (!calls_.empty() && !drainQueued_) {
        drainQueued_ = true;
        QMetaObject::invokeMethod(
            context_, [this] { Drain(); }, Qt::QueuedConnection);
    }
}

void QueuedHost::Information(const QString& text) {
    Post([this, text] { target_.Information(text); });
}

void QueuedHost::Concluded() {
    Post([this] { target_.Concluded(); });
}

void QueuedHost::Append(Pane pane, const QString& line) {
    Post([this, pane, line] { target_.Append(pane, line); });
}

void QueuedHost::SetStatus(const QString& text) {
    Post([this, text] { target_.SetStatus(text); });
}

void QueuedHost::ConsolePut(const QString& message) {
    Post([this, message] { target_.ConsolePut(message); });
}

void QueuedHost::ProgressBackup(const QString& line) {
    Post([this, line] { target_.ProgressBackup(line); });
}

void QueuedHost::ProgressCompactar(const QString& line) {
    Post([this, line] { target_.ProgressCompactar(line); });
}

void QueuedHost::HideUpdateCommand() {
    Post([this] { target_.HideUpdateCommand(); });
}

void QueuedHost::SetBusy(bool busy) {
    Post([this, busy] { target_.SetBusy(busy); });
}

void QueuedHost::RecordProblem(const QString& text) {
    Post([this, text] { target_.RecordProblem(text); });
}

void QueuedHost::ExecuteBackup() {
    if (OnExecuteBackup)
        OnExecuteBackup();
}

void QueuedHost::ExecuteCompactar() {
    if (OnExecuteCompactar)
        OnExecuteCompactar();
}

void QueuedHost::Cursor::Show() {
    host_.Post([this] { target_.Show(); });
}

void QueuedHost::Cursor::HideAfter(int milliseconds) {
    host_.Post([this, milliseconds] { target_.HideAfter(milliseconds); });
}

// ---- RunSession ----

RunSession::RunSession(UpgradeHost& host, QObject* parent)
    : QObject(parent), host_(host), queued_(host, this), recorder_(queued_, log_),
      run_(std::make_unique<UpgradeRun>(recorder_)) {
    queued_.OnExecuteBackup = [this] { run_->aBackupExecute(); };
    queued_.OnExecuteCompactar = [this] { run_->aCompactarExecute(); };
    silenceLimit_ = SilenceLimitFromEnvironment();
    watch_.setInterval(kWatchIntervalMs);
    connect(&watch_, &QTimer::timeout, this, &RunSession::Watch);
}

RunSession::~RunSession() {
    if (stopper_.joinable())
        stopper_.join();
    if (worker_.joinable()) {
        run_->RequestStop();
        worker_.join();
    }
}

void RunSession::SetSqlCursor(WaitCursor* cursor) {
    cursor_ = cursor ? std::make_unique<QueuedHost::Cursor>(queued_, *cursor) : nullptr;
    for (ScriptRunner* s : {&run_->sVersao2, &run_->sVersao3, &run_->sVersao4, &run_->sVersao5})
        s->Cursor = cursor_.get();
}

bool RunSession::AskLogin(LoginValues& login) {
    // On this thread the run's host calls reach the host itself: the login dialog is the host's.
    return run_->AskLogin(login);
}

void RunSession::Start(const LoginValues& login, Kind kind) {
    if (running_)
        return;
    queued_.TakeMarks();
    log_.Close();
    // A record that cannot be written is said once; the run goes on without it.
    log_.OnWriteFailure = [this](const QString& text) { queued_.RecordProblem(text); };
    if (!log_.Open(QDateTime::currentDateTime(), login.BancoDados))
        host_.RecordProblem(log_.Problem());
    if (kind == Kind::Rehearsal)
        log_.Write(RecordTag::Run, QStringLiteral("Ensaio. Servidor: %1; banco de dados: %2; usuário: %3")
                                       .arg(login.Servidor, login.BancoDados, login.Usuario));
    else
        log_.Write(RecordTag::Run,
                   QStringLiteral("Servidor: %1; banco de dados: %2; usuário: %3; backup: %4; compactar: %5")
                       .arg(login.Servidor, login.BancoDados, login.Usuario,
                            queued_.BackupChecked() ? QStringLiteral("sim") : QStringLiteral("não"),
                            queued_.CompactarChecked() ? QStringLiteral("sim") : QStringLiteral("não")));
    running_ = true;
    silent_ = silenceSaid_ = abandonArmed_ = false;
    watch_.start();
    worker_ = std::thread([this, login, kind] {
        std::exception_ptr error;
        try {
            if (kind == Kind::Rehearsal)
                run_->Rehearse(login);
            else
                run_->Proceed(login);
        } catch (...) {
            error = std::current_exception();
        }
        if (run_->StopRequested())
            EndConnection();
        if (error) {
            try {
                std::rethrow_exception(error);
            } catch (const RunStopped&) {
                // Its line in the Atualizar pane says it.
            } catch (...) {
                log_.Write(RecordTag::Error, ErrorBoxText(error));
            }
        }
        log_.Write(RecordTag::Run, QStringLiteral("Fim da execução."));
        queued_.Post([this, error] { Finish(error); });
    });
}

void RunSession::Finish(std::exception_ptr error) {
    // The worker has posted this as its last act. The stopper may still be in its cancel call at the server:
    // it is joined once the program is done with the server (CloseConnection), never here.
    if (worker_.joinable())
        worker_.join();
    running_ = false;
    watch_.stop();
    Q_EMIT Finished(error);
}

void RunSession::RequestStop(const QString& reason) {
    const bool again = stopRequested_.exchange(true);
    if (running_) {
        log_.Write(RecordTag::Run, (again ? QStringLiteral("Novo pedido de encerramento (%1): o programa termina "
                                                           "assim que a atualização parar.")
                                          : QStringLiteral("Pedido de encerramento (%1)."))
                                       .arg(reason));
        // Cancelling the running statement goes over the network: not from this (the window's) thread. The
        // run has its request after the first one; a repeated request has nothing more to ask of it.
        if (!again)
            stopper_ = std::thread([this] { run_->RequestStop(); });
        if (silent_)
            ArmAbandon();
    }
}

QString RunSession::StageText() const {
    const QString stage = run_->StageName();
    if (!stage.isEmpty())
        return stage;
    switch (run_->Phase()) {
    case RunPhase::Backup: return QStringLiteral("backup");
    case RunPhase::Steps: return QStringLiteral("versões");
    case RunPhase::Compaction: return QStringLiteral("compactação");
    case RunPhase::Done: return QStringLiteral("fechamento da conexão");
    default: return QStringLiteral("preparação");
    }
}

void RunSession::Watch() {
    if (ServerWait::Silence() < silenceLimit_) {
        // The server answered again: a stop waits for it as before.
        silent_ = false;
        return;
    }
    if (!silent_) {
        silent_ = true;
        if (!silenceSaid_) {
            silenceSaid_ = true;
            // Through the record's host: on the status bar or the terminal, and in the record.
            recorder_.SetStatus(QStringLiteral("O servidor não responde há %1 s (etapa: %2). Fechar o programa "
                                               "agora o encerra sem esperar pelo servidor.")
                                    .arg(silenceLimit_.count())
                                    .arg(StageText()));
        }
    }
    if (stopRequested_)
        ArmAbandon();
}

void RunSession::ArmAbandon() {
    if (abandonArmed_)
        return;
    abandonArmed_ = true;
    QTimer::singleShot(kAbandonGraceMs, this, [this] {
        if (running_ && ServerWait::Silence() >= silenceLimit_)
            Abandon();
        abandonArmed_ = false;
        // The server answered within the grace: the run ends in order; a new silence arms again.
    });
}

void RunSession::Abandon() {
    const QString stage = StageText();
    QString text = QStringLiteral("O programa terminou sem esperar pelo servidor, que não responde há mais de %1 s "
                                  "(etapa: %2).")
                       .arg(silenceLimit_.count())
                       .arg(stage);
    if (stage == QStringLiteral("restauração"))
        text += QStringLiteral(" A restauração da compactação pode não ter terminado: se o banco de dados não abrir, "
                               "restaure-o do backup %1.")
                    .arg(run_->CompactionFile());
    else if (stage == QStringLiteral("verificação"))
        text += QStringLiteral(" O banco de dados não foi alterado pela compactação; o banco de verificação %1 pode "
                               "ter ficado no servidor.")
                    .arg(VerificationFileName(run_->CompactionFile()));
    else if (stage == QStringLiteral("compactação"))
        text += QStringLiteral(" O banco de dados não foi alterado pela compactação; o backup %1 pode estar "
                               "incompleto.")
                    .arg(run_->CompactionFile());
    else if (stage.startsWith(QStringLiteral("versão")))
        text += QStringLiteral(" Confira a versão do banco de dados antes de executar de novo.");
    log_.Write(RecordTag::Error, text);
    if (running_)
        log_.Write(RecordTag::Run, QStringLiteral("Fim da execução."));
    int status = 1;
    if (OnAbandon) {
        status = OnAbandon(text);
    } else {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        std::fflush(stderr);
    }
    // The threads that wait on the server cannot be joined: the process ends around them.
    std::_Exit(status);
}

void RunSession::EndConnection() {
    try {
        ReleaseConnection(run_->sqlcPrincipal);
    } catch (...) {
        log_.Write(RecordTag::Error, ErrorBoxText(std::current_exception()));
    }
}

void RunSession::ReleaseConnection(DatabaseConnection& c) {
    // Nothing still active at the end is to be kept: the queries' transaction ends before the steps and every
    // step commits its own work, so what is left is a failed or stopped step's. It is rolled back; when even
    // the rollback fails, the attachment goes without the commit that closing would make.
    try {
        if (c.Connected() && c.InTransaction())
            c.Rollback();
    } catch (...) {
        c.Disconnect();
        throw;
    }
    c.Close();
}

void RunSession::CloseConnection() {
    watch_.stop();
    // The caller's thread never waits on the server for longer than the silence limit: past it, the program
    // ends without the close (the server drops the attachment, and rolls back what it held, when it notices).
    struct Closing {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        std::exception_ptr error;
    };
    auto closing = std::make_shared<Closing>();
    std::thread closer([this, closing] {
        std::exception_ptr error;
        try {
            if (stopper_.joinable())
                stopper_.join();
            if (worker_.joinable())
                worker_.join();
            ReleaseConnection(run_->sqlcPrincipal);
        } catch (...) {
            error = std::current_exception();
        }
        std::lock_guard lock(closing->mutex);
        closing->error = error;
        closing->finished = true;
        closing->done.notify_all();
    });
    {
        std::unique_lock lock(closing->mutex);
        while (!closing->done.wait_for(lock, std::chrono::milliseconds(kWatchIntervalMs),
                                       [&] { return closing->finished; }))
            if (ServerWait::Silence() >= silenceLimit_)
                Abandon();
    }
    closer.join();
    if (closing->error)
        std::rethrow_exception(closing->error);
}

} // namespace abd
