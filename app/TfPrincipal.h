#pragma once

#include "app/Application.h"
#include "app/LogPane.h"
#include "app/TfBase.h"
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

    /// The run, its connection and its scripts.
    UpgradeRun& Upgrade() { return *upgrade_; }

    // Handlers.
    void aAtualizarExecute();
    void aBackupExecute();
    void aCompactarExecute();

    // Callbacks.
    void ConsolePut(const QString& message) override;
    void ProgressBackup(const QString& line) override;
    void ProgressCompactar(const QString& line) override;

    /// The login dialog of the run in progress, while it is shown (tests drive it).
    TfLogin* CurrentLogin() const { return login_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The run's view of the window.
    bool Login(LoginValues& values) override;
    void Information(const QString& text) override;
    void Concluded() override;
    void Append(Pane pane, const QString& line) override;
    void SetStatus(const QString& text) override;
    void HideUpdateCommand() override;
    bool BackupChecked() override;
    bool CompactarChecked() override;
    void ExecuteBackup() override;
    void ExecuteCompactar() override;
    void SetBusy(bool busy) override;

    LogPane* PaneOf(Pane pane) const;

    std::unique_ptr<UpgradeRun> upgrade_;
    SqlWaitCursor sqlCursor_;
    TfLogin* login_ = nullptr;
    bool centred_ = false;
};

} // namespace abd
