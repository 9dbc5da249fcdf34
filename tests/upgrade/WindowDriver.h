#pragma once
// The window side of the end-to-end tests: a driver for the modal windows of one click on "Atualizar" (the
// login filled or cancelled, every box recorded and closed) and helpers around the main window.

#include "tests/upgrade/LortuFixture.h"

#include <QDateTime>
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <functional>

namespace abd {
class LogPane;
class TfPrincipal;
}

namespace abd::test {

struct Box {
    QString caption;
    QString text;
    QMessageBox::Icon icon;
    QRect frame;
};

/// Drives the modal windows of one click: fills the login (or cancels it), then records and closes every
/// message box.
class Driver {
public:
    explicit Driver(const QString& database);
    LoginValues login;
    bool cancel = false;
    QList<Box> boxes;

private:
    void Poll();
    QTimer timer_;
    // Guarded: a later dialog may be built where a handled one was, and must not pass for it.
    QList<QPointer<QWidget>> handled_;
};

QStringList Lines(LogPane* pane);
/// The lines a run added to a pane after its initial ones.
QStringList Added(LogPane* pane, int initial);
/// 14:05 on 31 January 2024, plus 61 seconds for every call before.
QDateTime Pinned(int n);
void PinClock(TfPrincipal& w);
/// Calls `action` once, on the run's thread, the first time the run writes a line into `pane` that starts with
/// `prefix`: the run goes on only after the action, so a fault lands exactly there.
void OnLine(TfPrincipal& w, Pane pane, const QString& prefix, std::function<void()> action);
/// Runs `action` on the window's thread and waits for it; for actions that a line of the run triggers.
void OnWindowThread(TfPrincipal& w, const std::function<void()>& action);
/// Shows the window with the optional stages as chosen and short pauses between reconnection attempts.
void Prepare(TfPrincipal& w, bool backup = true, bool compactar = true);
/// Clicks the update button, which must be there, and waits until the run has ended and its boxes are closed.
void Click(TfPrincipal& w);
/// Everything a person can read in the window and the boxes of a run.
QString AllVisibleText(TfPrincipal& w, const QList<Box>& boxes);

} // namespace abd::test
