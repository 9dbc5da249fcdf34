#include "tests/support/TestServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QUuid>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <pwd.h>

namespace abd::test {

QString Host() { return QStringLiteral("127.0.0.1"); }
QString Password() { return QStringLiteral("pomelarix"); }

QString WorkFolder() {
    static const QString folder = [] {
        const QString f = QStringLiteral("/tmp/abd-tests");
        QDir().mkpath(f);
        QFile::setPermissions(f, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                     QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                                     QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther);
        if (const passwd* pw = getpwnam("firebird"))
            if (chown(f.toLocal8Bit().constData(), pw->pw_uid, pw->pw_gid) != 0)
                std::perror("chown");
        return f;
    }();
    return folder;
}

ConnectionSettings SettingsFor(const QString& database) {
    return ConnectionSettings({QStringLiteral("Database=") + database, QStringLiteral("User_Name=SYSDBA"),
                               QStringLiteral("Password=") + Password(), QStringLiteral("CharacterSet=WIN1252"),
                               QStringLiteral("Protocol=TCPIP"), QStringLiteral("Port=3050"),
                               QStringLiteral("DriverID=FB"), QStringLiteral("Server=") + Host(),
                               QStringLiteral("PageSize=8192"), QStringLiteral("CharLenMode=Chars")});
}

ServiceSettings ServiceSettingsFor(const QString& database) {
    ServiceSettings s;
    s.SetHost(Host());
    s.Protocol = ipTCPIP;
    s.UserName = QStringLiteral("SYSDBA");
    s.Password = Password();
    s.Database = database;
    return s;
}

QString RunIsql(const QString& database, const QString& sql, bool* ok) {
    QProcess p;
    QStringList args{QStringLiteral("-q"), QStringLiteral("-user"), QStringLiteral("SYSDBA"),
                     QStringLiteral("-password"), Password(), QStringLiteral("-ch"), QStringLiteral("UTF8")};
    if (!database.isEmpty())
        args << database;
    p.start(QStringLiteral("isql-fb"), args);
    p.waitForStarted();
    p.write(sql.toUtf8());
    p.closeWriteChannel();
    p.waitForFinished(120000);
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    const QString err = QString::fromUtf8(p.readAllStandardError());
    const bool good = p.exitCode() == 0 && err.trimmed().isEmpty();
    if (ok)
        *ok = good;
    else if (!good) {
        std::fprintf(stderr, "isql failed on %s:\n%s\n%s\n", qPrintable(database), qPrintable(sql), qPrintable(err));
        std::abort();
    }
    return out;
}

TempDatabase::TempDatabase(const QString& sql, const QString& stem) {
    path_ = WorkFolder() + QLatin1Char('/') + stem + QLatin1Char('-') +
            QUuid::createUuid().toString(QUuid::Id128).left(12) + QStringLiteral(".fdb");
    RunIsql(QString(), QStringLiteral("SET SQL DIALECT 3;\nCREATE DATABASE '%1' USER 'SYSDBA' PASSWORD '%2' "
                                      "PAGE_SIZE 8192 DEFAULT CHARACTER SET WIN1252;\nCOMMIT;\n")
                           .arg(Remote(), Password()));
    if (!sql.isEmpty())
        RunIsql(Remote(), sql + QStringLiteral("\nCOMMIT;\n"));
}

TempDatabase::~TempDatabase() { QFile::remove(path_); }

QString TempDatabase::Scalar(const QString& sql) const {
    const QString out = Isql(QStringLiteral("SET HEADING OFF;\n") + sql + QStringLiteral("\n"));
    for (const QString& line : out.split(QLatin1Char('\n')))
        if (!line.trimmed().isEmpty())
            return line.trimmed();
    return {};
}

} // namespace abd::test
