#pragma once
// Names and texts of the backup and compaction stages; pure functions of their inputs.

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>

namespace abd {

/// "yyyymmdd.hhnn".
QString FileStamp(const QDateTime& t);
/// The locale's date and time separators: the first mark between the fields of its short date and its time
/// formats; "/" and ":" where it has none (the C locale writes "d MMM yyyy").
QChar DateSeparator(const QLocale& locale);
QChar TimeSeparator(const QLocale& locale);
/// "dd/mm/yyyy hh:nn:ss.zzz" with the locale's date and time separators in place of "/" and ":".
QString LogStamp(const QDateTime& t, const QLocale& locale = QLocale::system());
/// A duration shown as a time of day, "hh:nn:ss.zzz": whole days are dropped.
QString DurationStamp(qint64 milliseconds);

/// The part of the database text that goes after the backup folder: the text itself for an alias or an
/// empty folder, the file name alone for a path (a folder joined with a full path would name no folder).
QString DatabasePartOfBackupName(const QString& folder, const QString& database);

/// PastaBackup + database + "." + stamp + ".versao." + version + ".fbk".
QString BackupStageFileName(const QString& folder, const QString& database, const QDateTime& start, int version);
/// PastaBackup + database + "." + stamp + ".fbk".
QString CompactionFileName(const QString& folder, const QString& database, const QDateTime& start);
/// The scratch database that the compaction restores its backup into before the backup replaces anything:
/// beside the backup, named after it, "….verificacao.fdb" in place of ".fbk".
QString VerificationFileName(const QString& compactionFile);

/// The rehearsal's backup and scratch database: PastaBackup + database + "." + stamp + ".ensaio.fbk" (".fdb"),
/// names that no run writes and that nobody takes for a real backup.
QString RehearsalBackupName(const QString& folder, const QString& database, const QDateTime& start);
QString RehearsalDatabaseName(const QString& folder, const QString& database, const QDateTime& start);

/// Whether any line the server sent begins with an error marker (ERROR, optionally after "gbak:").
bool HasErrorMarker(const QStringList& serverLines);

} // namespace abd
