#pragma once

#include "upgrade/RunLog.h"
#include "upgrade/UpgradeRun.h"

#include <QObject>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace abd {

/// A host on another thread: every call the run makes is carried out on the thread of `context`, in the order
/// the run made it, and the run never waits for one. The menu marks are read on that thread before the run
/// starts (the window keeps them from changing meanwhile); the backup and compaction commands run on the
/// run's own thread.
class QueuedHost : public UpgradeHost {
public:
    QueuedHost(UpgradeHost& target, QObject* context) : target_(target), context_(context) {}

    /// Reads what the run will ask of the menu; on the context's thread.
    void TakeMarks();
    /// What executing aBackup and aCompactar does, on the run's thread.
    std::function<void()> OnExecuteBackup;
    std::function<void()> OnExecuteCompactar;

    /// Queues any call for the context's thread, after those queued before it.
    void Post(std::function<void()> call);

    bool Login(LoginValues& values) override { return target_.Login(values); }
    void Information(const QString& text) override;
    void Concluded() override;
    void Append(Pane pane, const QString& line) override;
    void SetStatus(const QString& text) override;
    void ConsolePut(const QString& message) override;
    void ProgressBackup(const QString& line) override;
    void ProgressCompactar(const QString& line) override;
    void HideUpdateCommand() override;
    bool BackupChecked() override { return backup_; }
    bool CompactarChecked() override { return compactar_; }
    void ExecuteBackup() override;
    void ExecuteCompactar() override;
    void SetBusy(bool busy) override;
    void RecordProblem(const QString& text) override;

    /// The SQL-wait cursor of the scripts' passes, carried out on the context's thread.
    class Cursor : public WaitCursor {
    public:
        Cursor(QueuedHost& host, WaitCursor& target) : host_(host), target_(target) {}
        void Show() override;
        void HideAfter(int milliseconds) override;

    private:
        QueuedHost& host_;
        WaitCursor& target_;
    };

private:
    void Drain();
    /// Hands what is still queued to a later turn of the event loop.
    void QueueRest();

    UpgradeHost& target_;
    QObject* context_;
    std::atomic<bool> backup_{true};
    std::atomic<bool> compactar_{true};
    std::mutex mutex_;
    std::deque<std::function<void()>> calls_;
    bool drainQueued_ = false;
};

/// The upgrade run hosted so that its host's thread never waits on the server: the login on the host's thread,
/// everything after it on a thread of its own, every line recorded in the run's log file. A stop is a request
/// that the run honours in order (UpgradeRun::RequestStop), never a killed thread.
class RunSession : public QObject {
    Q_OBJECT
public:
    /// `host` is the window (or the terminal), used on this object's thread.
    explicit RunSession(UpgradeHost& host, QObject* parent = nullptr);
    /// Waits for a run in progress; it has been asked to stop by then.
    ~RunSession() override;

    UpgradeRun& Run() { return *run_; }
    /// The scripts' SQL-wait cursor, shown on this object's thread.
    void SetSqlCursor(WaitCursor* cursor);

    /// The login, on this thread: false when it did not end with OK.
    bool AskLogin(LoginValues& login);
    /// What a session runs after the login: the upgrade, or its rehearsal on a copy of the database.
    enum class Kind { Upgrade, Rehearsal };
    /// Starts the run after the login; the record of the run is opened first.
    void Start(const LoginValues& login, Kind kind = Kind::Upgrade);
    bool Running() const { return running_; }

    /// Asks for the program's end: the run in progress ends in order; `reason` goes into the record. Returns at
    /// once: the first request reaches the run from a thread of its own; a later one is only recorded. A
    /// stopped run stays stopped.
    void RequestStop(const QString& reason);
    bool StopRequested() const { return stopRequested_; }

    /// The program is done with the server: on a thread of its own, rolls back what a failed or stopped step may
    /// have left active and closes the connection, and waits. Raises what the rollback or the close raises.
    void CloseConnection();

    /// A wait on the server longer than this is said once (status bar, terminal, record); from then on a stop
    /// request ends the program within seconds, without waiting for the server. 60 s, unless the environment
    /// variable ABD_SILENCIO_MAXIMO gives another number of seconds.
    std::chrono::seconds SilenceLimit() const { return silenceLimit_; }
    /// The server has not answered for the limit, and still has not.
    bool ServerSilent() const { return silent_; }
    /// The process ends without waiting for the server: `text` says what is known (the stage; for the
    /// compaction's restore, the backup file to restore from) and is in the record already. Called on this
    /// thread; returns the exit status. Unset, the text goes to standard error and the status is 1.
    std::function<int(const QString& text)> OnAbandon;

    /// The record of the last run; empty when none was written.
    QString LogFileName() const { return log_.FileName(); }
    RunLog& Log() { return log_; }

    /// Every pane line as the run writes it, on the run's thread, before the host shows it.
    void SetLineTap(std::function<void(Pane pane, const QString& line)> tap) { recorder_.LineTap = std::move(tap); }

Q_SIGNALS:
    /// The run has ended, after every line it wrote has been shown: `error` is what ended it, null when it ended
    /// normally (the refusal and the up-to-date database included).
    void Finished(std::exception_ptr error);

private:
    void Finish(std::exception_ptr error);
    /// Looks at the server's silence while the run waits on it.
    void Watch();
    /// A stop after the limit: the run has a few seconds to end in order, then the program ends without it.
    void ArmAbandon();
    [[noreturn]] void Abandon();
    QString StageText() const;
    void EndConnection();
    static void ReleaseConnection(DatabaseConnection& connection);

    UpgradeHost& host_;
    QueuedHost queued_;
    RunLog log_;
    RecordingHost recorder_;
    std::unique_ptr<UpgradeRun> run_;
    std::unique_ptr<QueuedHost::Cursor> cursor_;
    std::thread worker_;
    std::thread stopper_; // carries a stop request to the run, which may cancel at the server
    bool running_ = false;
    std::atomic<bool> stopRequested_{false};
    std::chrono::seconds silenceLimit_{60};
    QTimer watch_;
    bool silent_ = false;
    bool silenceSaid_ = false;
    bool abandonArmed_ = false;
};

} // namespace abd
