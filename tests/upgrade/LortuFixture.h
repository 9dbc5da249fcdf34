#pragma once
// Lortu databases and a driver for the modal windows of one click on "Atualizar", shared by the end-to-end
// tests of the upgrade run.

#include "tests/support/TestServer.h"
#include "upgrade/UpgradeRun.h"

#include <QDateTime>
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <functional>

namespace abd {
class LogPane;
class TfLogin;
class TfPrincipal;
}

namespace abd::test {

/// The SQL of the demo Lortu database at version 1.
QString DemoSql();

/// SQL for a Lortu variant: every delete from MOVIMENTO (version 4 deletes two rows) keeps the server busy for
/// `milliseconds`.
QString SlowDeletes(int milliseconds);
/// A variant whose data is consistent and backs up, but whose restore fails: the keys of a unique expression
/// index collide once the index is rebuilt, since the function it uses changed after it was built.
QString IndexThatFailsOnRestore();

/// The record of a run, line by line without the times: "[tag] text".
QStringList RecordLines(const QString& fileName);
/// The lines of one tag in a record, without the tag.
QStringList RecordOf(const QStringList& record, const QString& tag);

/// A folder the server can write backups into; its name may carry a word of the test's choice.
QString BackupFolder(const QString& stem = QStringLiteral("bk"));

/// A Lortu database at version 1, changed by `variant` (SQL run after the demo's).
struct Lortu {
    /// `stem` names the database file, under the tests' folder (it may hold a folder of BackupFolder's).
    explicit Lortu(const QString& variant = QString(), const QString& folder = BackupFolder(),
                   const QString& stem = QStringLiteral("lortu"));
    ~Lortu();
    QStringList BackupFiles() const;
    QString backupFolder;
    TempDatabase db;
};

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

/// What a rehearsal must leave as it found it: the version, MOVIMENTO's rows (count and checksum; version 4
/// deletes some), the triggers that version 3 turns off, and the number of metadata objects.
QString LiveState(const Lortu& l);

} // namespace abd::test
