#include "upgrade/BackupNames.h"

#include <QRegularExpression>

namespace abd {

QString FileStamp(const QDateTime& t) { return t.toString(QStringLiteral("yyyyMMdd.HHmm")); }

QString LogStamp(const QDateTime& t) { return t.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss.zzz")); }

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

bool HasErrorMarker(const QStringList& serverLines) {
    static const QRegularExpression marker(QStringLiteral("^\\s*(gbak:\\s*)?ERROR\\b"),
                                           QRegularExpression::CaseInsensitiveOption);
    for (const QString& line : serverLines)
        if (marker.match(line).hasMatch())
            return true;
    return false;
}

} // namespace abd
