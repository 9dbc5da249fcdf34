#pragma once

#include "app/Application.h"
#include "app/LogPane.h"
#include "app/TfBase.h"
#include "upgrade/RunSession.h"
#include "upgrade/UpgradeRun.h"

#include <QMainWindow>
#include <memory>

class QAction;
class QPushButton;
class QSplitter;
class QStatusBar;

namespace abd {

class TfLogin;

/// The main window: four log panes, the status bar, the update button and its commands, the pop-up menu.
/// Its handlers forward to the upgrade run.
class TfPrincipal : public QMainWindow, public TfBase, private UpgradeHost {
    Q_OBJECT
public:
    explicit TfPrincipal(QWidget* parent = nullptr);
    ~TfPrincipal() override;

    // Components.
    QPushButton* bAtualizar;
    QStatusBar* StatusBar1;
    QAction* aBackup;
    QAction* aCompactar;
    QAction* aAtualizar;
    LogPane* mAtualizar;
    LogPane* mBackup;
    LogPane* mCompactar;
    LogPane* mSQL;
    QSplitter* Splitter;
    QAction* miBackup;
    QAction* miCompactar;
    /// "Ensaiar a atualização...": the whole upgrade on a copy of the database, beside the two check items.
    QAction* miEnsaiar;

    /// The run, its connection and its scripts.
    UpgradeRun& Upgrade() { return session_->Run(); }
    /// The run's thread and record.
    RunSession& Session() { return *session_; }
    /// From the click on the update button until the run has ended and its boxes are closed.
    bool RunActive() const { return runActive_; }

    /// Ends the program in order: an open dialog ends as if cancelled, a run in progress is asked to stop (a
    /// version step is rolled back, a backup or restore is waited for), and the window closes once nothing runs.
    /// `reason` goes into the run's record.
    void RequestEnd(const QString& reason);
    /// The program's last use of the server: closes the connection, from a thread of its own (RunSession).
    void EndSession();

    // Handlers. Those of aBackup and aCompactar are the run's (UpgradeRun), on the run's own thread.
    void aAtualizarExecute();
    /// The rehearsal, after the same login.
    void miEnsaiarExecute();

    // Callbacks.
    void ConsolePut(const QString& message) override;
    void ProgressBackup(const QString& line) override;
    void ProgressCompactar(const QString& line) override;

    /// The login dialog of the run in progress, while it is shown (tests drive it).
    TfLogin* CurrentLogin() const { return login_; }

protected:
    void showEvent(QShowEvent* event) override;
    /// Closing while a run goes on asks it to stop; the window closes when it has.
    void closeEvent(QCloseEvent* event) override;

private:
    /// The login, then the run of that kind; nothing while a run goes on or the program is ending.
    void StartRun(RunSession::Kind kind);
    // The run's view of the window.
    bool Login(LoginValues& values) override;
    void Information(const QString& text) override;
    void Concluded() override;
    void Append(Pane pane, const QString& line) override;
    void SetStatus(const QString& text) override;
    void HideUpdateCommand() override;
    bool BackupChecked() override;
    bool CompactarChecked() override;
    void SetBusy(bool busy) override;

    LogPane* PaneOf(Pane pane) const;
    void RunFinished(std::exception_ptr error);
    /// The update command and the menu's check items cannot be used while a run goes on.
    void SetRunControlsEnabled(bool enabled);

    SqlWaitCursor sqlCursor_;
    std::unique_ptr<RunSession> session_;
    bool runActive_ = false;
    bool ending_ = false;
    TfLogin* login_ = nullptr;
    bool centred_ = false;
};

} // namespace abd
