#pragma once

#include "upgrade/UpgradeRun.h"

#include <cstdio>
#include <functional>

namespace abd {

/// The run's host on a terminal: every line the four panes and the status bar would show goes to standard
/// output once, as the panes show it, after the name of its pane ("[atualizar] Banco dados versão 1"); the
/// boxes' texts go there too, under "[mensagem]". Used on the program's main thread.
class ConsoleHost : public UpgradeHost {
public:
    ConsoleHost(bool backup, bool compactar, std::FILE* out = stdout) : backup_(backup), compactar_(compactar), out_(out) {}

    /// The refusal box was shown: others are attached.
    bool Refused() const { return refused_; }

    /// Called once when a write to the output fails (a pipe whose reader has gone, a closed terminal): the
    /// person has left. Nothing more is written there.
    std::function<void()> OnOutputGone;
    bool OutputGone() const { return gone_; }

    bool Login(LoginValues&) override { return true; }
    void Information(const QString& text) override;
    void Concluded() override;
    void Append(Pane pane, const QString& line) override;
    void SetStatus(const QString& text) override;
    void ConsolePut(const QString& message) override;
    void ProgressBackup(const QString& line) override;
    void ProgressCompactar(const QString& line) override;
    void HideUpdateCommand() override {}
    bool BackupChecked() override { return backup_; }
    bool CompactarChecked() override { return compactar_; }
    void SetBusy(bool) override {}
    /// On standard error, which the person reads even when the output goes to a file.
    void RecordProblem(const QString& text) override;

private:
    void Print(const QString& tag, const QString& text);

    bool backup_;
    bool compactar_;
    std::FILE* out_;
    bool refused_ = false;
    bool gone_ = false;
};

} // namespace abd
