#include "upgrade/BackupNames.h"

#include <QRegularExpression>

namespace abd {

QString FileStamp(const QDateTime& t) { return t.toString(QStringLiteral("yyyyMMdd.HHmm")); }

namespace {
/// The first character between two fields of a date or time format, skipping blanks; `fallback` when a
/// quoted text or nothing stands there.
QChar SeparatorOf(const QString& format, QChar fallback) {
    qsizetype i = 0;
    while (i < format.size() && format[i].isLetter())
        ++i;
    while (i < format.size() && format[i] == QLatin1Char(' '))
        ++i;
    if (i >= format.size() || format[i].isLetter() || format[i] == QLatin1Char('\''))
        return fallback;
    return format[i];
}
} // namespace

QChar DateSeparator(const QLocale& locale) {
    return SeparatorOf(locale.dateFormat(QLocale::ShortFormat), QLatin1Char('/'));
}

QChar TimeSeparator(const QLocale& locale) {
    return SeparatorOf(locale.timeFormat(QLocale::LongFormat), QLatin1Char(':'));
}

QString LogStamp(const QDateTime& t, const QLocale& locale) {
    const QChar d = DateSeparator(locale);
    const QChar h = TimeSeparator(locale);
    const QDate date = t.date();
    const QTime time = t.time();
    auto two = [](int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); };
    return two(date.day()) + d + two(date.month()) + d + QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0')) +
           QLatin1Char(' ') + two(time.hour()) + h + two(time.minute()) + h + two(time.second()) + QLatin1Char('.') +
           QStringLiteral("%1").arg(time.msec(), 3, 10, QLatin1Char('0'));
}

QString DurationStamp(qint64 ms) {
    if (ms < 0)
        ms = 0;
    return QStringLiteral("%1:%2:%3.%4")
        .arg(ms / 3600000 % 24, 2, 10, QLatin1Char('0'))
        .arg(ms / 60000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

QString DatabasePartOfBackupName(const QString& folder, const QString& database) {
    if (folder.isEmpty())
        return database;
    const qsizetype separator = std::max(database.lastIndexOf(QLatin1Char('/')), database.lastIndexOf(QLatin1Char('\\')));
    return separator < 0 ? database : database.mid(separator + 1);
}

QString BackupStageFileName(const QString& folder, const QString& database, const QDateTime& start, int version) {
    return folder + DatabasePartOfBackupName(folder, database) + QLatin1Char('.') + FileStamp(start) +
           QStringLiteral(".versao.") + QString::number(version) + QStringLiteral(".fbk");
}

QString CompactionFileName(const QString& folder, const QString& database, const QDateTime& start) {
    return folder + DatabasePartOfBackupName(folder, database) + QLatin1Char('.') + FileStamp(start) +
           QStringLiteral(".fbk");
}

QString VerificationFileName(const QString& compactionFile) {
    const QString fbk = QStringLiteral(".fbk");
    const QString stem = compactionFile.endsWith(fbk) ? compactionFile.chopped(fbk.size()) : compactionFile;
    return stem + QStringLiteral(".verificacao.fdb");
}

QString RehearsalBackupName(const QString& folder, const QString& database, const QDateTime& start) {
    return folder + DatabasePartOfBackupName(folder, database) + QLatin1Char('.') + FileStamp(start) +
           QStringLiteral(".ensaio.fbk");
}

QString RehearsalDatabaseName(const QString& folder, const QString& database, const QDateTime& start) {
    return folder + DatabasePartOfBackupName(folder, database) + QLatin1Char('.') + FileStamp(start) +
           QStringLiteral(".ensaio.fdb");
}

bool HasErrorMarker(const QStringList& serverLines) {
    static const QRegularExpression marker(QStringLiteral("^\\s*(gbak:\\s*)?ERROR\\b"),
                                           QRegularExpression::CaseInsensitiveOption);
    for (const QString& line : serverLines)
        if (marker.match(line).hasMatch())
            return true;
    return false;
}

} // namespace abd
