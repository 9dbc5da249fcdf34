#include "firebird/DatabaseConnection.h"
#include "firebird/Errors.h"
#include "firebird/ServiceClient.h"
#include "tests/support/TestServer.h"

#include <QFile>
#include <QtTest>

using namespace abd;
using namespace abd::test;

namespace {
const char* kSchema = R"(
CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, NOME VARCHAR(20));
INSERT INTO T VALUES (1, 'um');
INSERT INTO T VALUES (2, 'dois');
)";

template <class E>
E Expect(const std::function<void()>& f) {
    try {
        f();
    } catch (const E& e) {
        return e;
    }
    qFatal("expected error not raised");
}

QStringList Collect(const std::function<void(const ProgressCallback&)>& run) {
    QStringList lines;
    run([&](ServiceClient&, const QString& line) { lines << line; });
    return lines;
}
} // namespace

class TestServiceClient : public QObject {
    Q_OBJECT
private slots:
    void usageCountsAttachments() {
        TempDatabase db(kSchema);
        const ServiceSettings s = ServiceSettingsFor();
        QCOMPARE(GetUsage(s).Attachments, 0);
        {
            DatabaseConnection c("x", SettingsFor(db.Path()));
            c.Open();
            const ServerUsage u = GetUsage(s);
            QCOMPARE(u.Attachments, 1);
            QCOMPARE(u.Databases, 1);
            QCOMPARE(u.DBNames, QStringList{db.Path()});
        }
        QCOMPARE(GetUsage(s).Attachments, 0);
    }

    void wrongPassword() {
        ServiceSettings s = ServiceSettingsFor();
        s.Password = "errada";
        ServiceClient client;
        const auto e = Expect<DatabaseError>([&] { client.GetUsage(s); });
        QCOMPARE(e.Kind(), ekUserPwdInvalid);
        QVERIFY(!client.Attached());
    }

    void backupThenRestoreReplace() {
        TempDatabase db(kSchema);
        const QString file = db.Path() + ".fbk";
        BackupRequest b;
        b.BackupFiles = {file};
        b.Verbose = true;
        const QStringList lines = Collect([&](const ProgressCallback& p) { Backup(ServiceSettingsFor(db.Path()), b, p); });
        QVERIFY(lines.size() > 10);
        QCOMPARE(lines.first(), QStringLiteral("gbak:readied database %1 for backup ").arg(db.Path()));
        QVERIFY2(lines.last().startsWith("gbak:closing file, committing, and finishing."), qPrintable(lines.last()));
        QVERIFY(lines.contains("gbak:    writing data for table T "));
        QVERIFY(QFile::exists(file));

        // Without garbage collection, then restored over the database.
        db.Isql("DELETE FROM T WHERE ID = 2;");
        const QString file2 = db.Path() + ".2.fbk";
        b.BackupFiles = {file2};
        b.Options = boNoGarbageCollect;
        b.Verbose = false;
        QVERIFY(Collect([&](const ProgressCallback& p) { Backup(ServiceSettingsFor(db.Path()), b, p); }).isEmpty());
        db.Isql("INSERT INTO T VALUES (5, 'cinco');");
        RestoreRequest r;
        r.BackupFiles = {file2};
        r.Verbose = true;
        r.Options = roReplace;
        const QStringList restored =
            Collect([&](const ProgressCallback& p) { Restore(ServiceSettingsFor(db.Path()), r, p); });
        QVERIFY(restored.size() > 5);
        QCOMPARE(db.Scalar("SELECT COUNT(*) || '/' || MAX(ID) FROM T;"), QStringLiteral("1/1"));
        QFile::remove(file);
        QFile::remove(file2);
    }

    void backupIntoUnwritableFolderRaisesAfterLines() {
        TempDatabase db(kSchema);
        BackupRequest b;
        b.BackupFiles = {"/root/abd-cannot-write.fbk"};
        b.Verbose = true;
        QStringList lines;
        ServiceClient client;
        client.OnProgress = [&](ServiceClient&, const QString& l) { lines << l; };
        const auto e = Expect<DatabaseError>([&] { client.Backup(ServiceSettingsFor(db.Path()), b); });
        QVERIFY2(e.Message().contains("cannot open backup file /root/abd-cannot-write.fbk"), qPrintable(e.Message()));
        QVERIFY(!client.Attached());
        for (const QString& l : lines)
            QVERIFY(!l.toUpper().contains("ERROR"));
    }

    void restoreRefusedWhileAttached() {
        TempDatabase db(kSchema);
        const QString file = db.Path() + ".fbk";
        BackupRequest b;
        b.BackupFiles = {file};
        Backup(ServiceSettingsFor(db.Path()), b, {});
        db.Isql("INSERT INTO T VALUES (3, 'tres');");
        DatabaseConnection holder("x", SettingsFor(db.Path()));
        holder.Open();
        RestoreRequest r;
        r.BackupFiles = {file};
        r.Verbose = true;
        r.Options = roReplace;
        const auto e = Expect<DatabaseError>([&] { Restore(ServiceSettingsFor(db.Path()), r, {}); });
        QVERIFY2(e.Message().contains("database might be in use"), qPrintable(e.Message()));
        holder.Close();
        QCOMPARE(db.Scalar("SELECT COUNT(*) FROM T;"), QStringLiteral("3"));
        QFile::remove(file);
    }

    void lengthThatIsNoIntegerFailsBeforeStart() {
        TempDatabase db(kSchema);
        BackupRequest b;
        b.BackupFiles = {db.Path() + ".fbk=abc"};
        ServiceClient client;
        const auto e = Expect<ConversionError>([&] { client.Backup(ServiceSettingsFor(db.Path()), b); });
        QCOMPARE(e.Message(), QStringLiteral("'abc' não é um valor inteiro válido"));
        QVERIFY(!client.Attached());
        QVERIFY(!QFile::exists(db.Path() + ".fbk"));
    }
};

QTEST_GUILESS_MAIN(TestServiceClient)
#include "TestServiceClient.moc"
