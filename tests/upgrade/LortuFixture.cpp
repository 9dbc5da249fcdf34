#include "tests/upgrade/LortuFixture.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QUuid>
#include <QtTest>
#include <memory>
#include <pwd.h>
#include <unistd.h>

namespace abd::test {

QString DemoSql() {
    QFile f(QStringLiteral(ABD_SOURCE_DIR "/demo/lortu-v1.sql"));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("demo SQL not found");
    return QString::fromUtf8(f.readAll());
}

QString IndexThatFailsOnRestore() {
    return QStringLiteral("CREATE TABLE CHAVE (X INTEGER);\nINSERT INTO CHAVE VALUES (1);\nINSERT INTO CHAVE VALUES (2);\n"
                          "COMMIT;\nSET TERM ^;\nCREATE FUNCTION F(A INTEGER) RETURNS INTEGER AS BEGIN RETURN A; END^\n"
                          "SET TERM ;^\nCOMMIT;\nCREATE UNIQUE INDEX IX_CHAVE ON CHAVE COMPUTED BY (F(X));\nCOMMIT;\n"
                          "SET TERM ^;\nALTER FUNCTION F(A INTEGER) RETURNS INTEGER AS BEGIN RETURN 0; END^\n"
                          "SET TERM ;^\nCOMMIT;\n");
}

QString LiveState(const Lortu& l) {
    return l.db.Scalar(QStringLiteral(
        "SELECT (SELECT VERSAO_BANCO_DADOS || COALESCE(EXPURGO, '-') FROM CONFIGURAR) || '/' || "
        "(SELECT COUNT(*) || ':' || COALESCE(SUM(HASH(ID || ',' || COALESCE(HISTORICO_ID, 0) || ',' || "
        "COALESCE(VALOR, 0))), 0) FROM MOVIMENTO) || '/' || "
        "(SELECT COUNT(*) || ':' || SUM(COALESCE(RDB$TRIGGER_INACTIVE, 0)) FROM RDB$TRIGGERS) || '/' || "
        "(SELECT COUNT(*) FROM RDB$RELATIONS) || '/' || (SELECT COUNT(*) FROM RDB$INDICES) || '/' || "
        "(SELECT COUNT(*) FROM RDB$FIELDS) FROM RDB$DATABASE;"));
}

QString SlowDeletes(int milliseconds) {
    return QStringLiteral("SET TERM ^ ;\n"
                          "CREATE TRIGGER TR_MOVIMENTO_LENTO FOR MOVIMENTO BEFORE DELETE AS\n"
                          "DECLARE T0 TIMESTAMP;\n"
                          "BEGIN\n"
                          "  T0 = CAST('NOW' AS TIMESTAMP);\n"
                          "  WHILE (DATEDIFF(MILLISECOND FROM T0 TO CAST('NOW' AS TIMESTAMP)) < %1) DO T0 = T0;\n"
                          "END^\n"
                          "SET TERM ; ^\n")
        .arg(milliseconds);
}

QStringList RecordLines(const QString& fileName) {
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList lines;
    static const QRegularExpression time(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} "));
    for (const QString& line : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        QString l = line;
        if (!time.match(l).hasMatch())
            qFatal("record line without its time: %s", qPrintable(l));
        lines << l.mid(24);
    }
    return lines;
}

QStringList RecordOf(const QStringList& record, const QString& tag) {
    QStringList out;
    const QString prefix = QLatin1Char('[') + tag + QStringLiteral("] ");
    for (const QString& l : record)
        if (l.startsWith(prefix))
            out << l.mid(prefix.size());
    return out;
}

QString BackupFolder(const QString& stem) {
    const QString f = WorkFolder() + QLatin1Char('/') + stem + QLatin1Char('-') +
                      QUuid::createUuid().toString(QUuid::Id128).left(8);
    QDir().mkpath(f);
    if (const passwd* pw = getpwnam("firebird"))
        if (chown(f.toLocal8Bit().constData(), pw->pw_uid, pw->pw_gid) != 0)
            qWarning("chown failed");
    return f + QLatin1Char('/');
}

Lortu::Lortu(const QString& variant, const QString& folder, const QString& stem)
    : backupFolder(folder),
      db(DemoSql() +
             QStringLiteral("\nUPDATE CONFIGURAR SET PASTA_BACKUP = '%1' WHERE ID = 1;\nCOMMIT;\n")
                 .arg(folder) +
             variant,
         stem) {}

Lortu::~Lortu() {
    if (backupFolder.startsWith(WorkFolder()))
        QDir(backupFolder).removeRecursively();
}

QStringList Lortu::BackupFiles() const { return QDir(backupFolder).entryList(QDir::Files, QDir::Name); }

} // namespace abd::test
