#pragma once
// Lortu databases and the records of runs, for the end-to-end tests of the upgrade run; no window in it.

#include "tests/support/TestServer.h"
#include "upgrade/UpgradeRun.h"

#include <QString>
#include <QStringList>

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

/// What a rehearsal must leave as it found it: the version, MOVIMENTO's rows (count and checksum; version 4
/// deletes some), the triggers that version 3 turns off, and the number of metadata objects.
QString LiveState(const Lortu& l);

} // namespace abd::test
