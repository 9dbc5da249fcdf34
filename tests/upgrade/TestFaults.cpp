// Faults during a run, against the real server: lost connections, a stopped server, refused folders and
// logins. For each, the program's own messages, what the database holds afterwards (nothing half-applied,
// no success line for uncommitted work), and that the window stays usable.
#include "app/TfPrincipal.h"
#include "firebird/ClientLibrary.h"
#include "firebird/DatabaseConnection.h"
#include "tests/support/TestServer.h"
#include "tests/upgrade/WindowDriver.h"

#include <QAction>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QPushButton>
#include <QStatusBar>
#include <QtTest>

using namespace abd;
using namespace abd::test;

namespace {
void Server(const QString& verb) {
    QProcess p;
    p.start(QStringLiteral("bash"), {QStringLiteral(ABD_SOURCE_DIR "/scripts/firebird-server.sh"), verb});
    p.waitForFinished(60000);
    if (p.exitCode() != 0)
        qFatal("firebird-server.sh %s failed", qPrintable(verb));
}

/// Starts the server again however the test ends.
struct ServerBack {
    ~ServerBack() { Server(QStringLiteral("start")); }
};

void CutOffOthers(const TempDatabase& db) {
    db.Isql("DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID <> CURRENT_CONNECTION AND MON$SYSTEM_FLAG = 0;");
}

/// The state that steps 2 and 3 leave: version 3, the two triggers inactive, EXPURGO 'S', the rows of
/// version 4's delete still there.
void ExpectVersion3(const TempDatabase& db) {
    QCOMPARE(db.Scalar("SELECT VERSAO_BANCO_DADOS || EXPURGO FROM CONFIGURAR;"), QStringLiteral("3S"));
    QCOMPARE(db.Scalar("SELECT COUNT(*) FROM MOVIMENTO WHERE HISTORICO_ID = 11;"), QStringLiteral("2"));
    QCOMPARE(db.Scalar("SELECT CREDITO_DEBITO FROM HISTORICO WHERE ID = 11;"), QStringLiteral("D"));
    QCOMPARE(db.Scalar("SELECT SUM(RDB$TRIGGER_INACTIVE) FROM RDB$TRIGGERS WHERE RDB$TRIGGER_NAME IN "
                       "('TR_HISTORICO_UPDATE_DELETE', 'TR_CREDITO_DEBITO_UPDATE');"),
             QStringLiteral("2"));
}

} // namespace

class TestFaults : public QObject {
    Q_OBJECT
private slots:
    void init() { Server(QStringLiteral("start")); }
    // The client's threads saw the server go away: end them before the process ends.
    void cleanupTestCase() { ClientLibrary::Shutdown(); }

    void connectionCutOffInTheMiddleOfAStep() {
        Lortu l;
        TfPrincipal w;
        Prepare(w, false, false);
        Driver driver(l.db.Path());
        // Right after version 4's DELETE ran, in the step's transaction, the attachment is cut off.
        OnLine(w, Pane::Sql, "2 rows processed", [&] { CutOffOthers(l.db); });
        Click(w);
        const QStringList added = Added(w.mAtualizar, 7);
        QVERIFY(added.contains("003 versão atualizada com sucesso."));
        QVERIFY(!added.contains("004 versão atualizada com sucesso."));
        QCOMPARE(added.last(), QStringLiteral("004 Erro: versão não foi atualizada."));
        QCOMPARE(driver.boxes.size(), 1);
        QVERIFY2(driver.boxes[0].text.startsWith("[Dravix][Phys][FB]connection shutdown"), qPrintable(driver.boxes[0].text));
        // After the loss nothing of the script ran: every later statement reports the loss instead.
        const QStringList sql = Lines(w.mSQL);
        const qsizetype lost = sql.indexOf("ERROR: connection shutdown");
        QVERIFY(lost > 0);
        for (const QString& line : sql.mid(lost))
            QVERIFY2(!line.startsWith("Ok") && !line.contains("processed"), qPrintable(line));
        w.Upgrade().sqlcPrincipal.Close();
        ExpectVersion3(l.db);
        QVERIFY(!AllVisibleText(w, driver.boxes).contains(Password()));
        QVERIFY(w.isVisible());
    }

    void serverRestartedWithinTheReconnectionWindow() {
        ServerBack back;
        Lortu l;
        TfPrincipal w;
        Prepare(w, false, false);
        Driver driver(l.db.Path());
        OnLine(w, Pane::Sql, "2 rows processed", [&] {
            Server(QStringLiteral("stop"));
            Server(QStringLiteral("start"));
        });
        Click(w);
        const QStringList added = Added(w.mAtualizar, 7);
        QVERIFY(!added.contains("004 versão atualizada com sucesso."));
        QCOMPARE(added.last(), QStringLiteral("004 Erro: versão não foi atualizada."));
        QCOMPARE(driver.boxes.size(), 1);
        w.Upgrade().sqlcPrincipal.Close();
        ExpectVersion3(l.db);
    }

    void serverStoppedForGoodDuringAStep() {
        ServerBack back;
        Lortu l;
        TfPrincipal w;
        Prepare(w, false, false);
        Driver driver(l.db.Path());
        OnLine(w, Pane::Sql, "2 rows processed", [&] { Server(QStringLiteral("stop")); });
        Click(w);
        const QStringList added = Added(w.mAtualizar, 7);
        QCOMPARE(added.last(), QStringLiteral("004 Erro: versão não foi atualizada."));
        QCOMPARE(driver.boxes.size(), 1);
        // The error that broke the step's transaction, not one of the reconnection attempts after it.
        static const QRegularExpression lost(
            "^\\[Dravix\\]\\[Phys\\]\\[FB\\](Error (writing|reading) data (to|from) the connection|connection shutdown)");
        QVERIFY2(lost.match(driver.boxes[0].text).hasMatch(), qPrintable(driver.boxes[0].text));
        QVERIFY(w.StatusBar1->currentMessage() != QStringLiteral("Concluído."));
        QVERIFY(!AllVisibleText(w, driver.boxes).contains(Password()));
        Server(QStringLiteral("start"));
        ExpectVersion3(l.db);
    }

    void serverStoppedDuringTheBackup() {
        ServerBack back;
        Lortu l;
        TfPrincipal w;
        Prepare(w);
        Driver driver(l.db.Path());
        OnLine(w, Pane::Backup, "gbak:readied database", [&] { Server(QStringLiteral("stop")); });
        Click(w);
        QCOMPARE(driver.boxes.size(), 1);
        QVERIFY2(driver.boxes[0].text.startsWith("[Dravix][Phys][FB]"), qPrintable(driver.boxes[0].text));
        const QStringList added = Added(w.mAtualizar, 7);
        QCOMPARE(added.last(), QStringLiteral("Backup versão 1")); // no version step ran
        Server(QStringLiteral("start"));
        QCOMPARE(l.db.Scalar("SELECT VERSAO_BANCO_DADOS FROM CONFIGURAR;"), QStringLiteral("1"));
    }

    void backupFolderTheServerCannotWrite() {
        Lortu l(QString(), QStringLiteral("/root/"));
        TfPrincipal w;
        Prepare(w);
        Driver driver(l.db.Path());
        Click(w);
        QCOMPARE(driver.boxes.size(), 1);
        QVERIFY2(driver.boxes[0].text.contains("cannot open backup file /root/"), qPrintable(driver.boxes[0].text));
        QCOMPARE(Added(w.mAtualizar, 7).last(), QStringLiteral("Backup versão 1"));
        QCOMPARE(l.db.Scalar("SELECT VERSAO_BANCO_DADOS FROM CONFIGURAR;"), QStringLiteral("1"));
        QVERIFY(!w.bAtualizar->isVisible());
    }

    void refusedLogins_data() {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("start");
        QTest::newRow("unknown database") << "127.0.0.1" << "NAO_EXISTE_ABD"
                                          << "[Dravix][Phys][FB]I/O error during \"open\" operation for file \"NAO_EXISTE_ABD\"";
        QTest::newRow("nothing listening") << "127.0.0.1/3051" << ""
                                           << "[Dravix][Phys][FB]Unable to complete network request to host \"127.0.0.1\".";
    }
    void refusedLogins() {
        QFETCH(QString, server);
        QFETCH(QString, database);
        QFETCH(QString, start);
        Lortu l;
        TfPrincipal w;
        Prepare(w);
        Driver driver(database.isEmpty() ? l.db.Path() : database);
        driver.login.Servidor = server;
        Click(w);
        QCOMPARE(driver.boxes.size(), 1);
        QVERIFY2(driver.boxes[0].text.startsWith(start), qPrintable(driver.boxes[0].text));
        QVERIFY(w.bAtualizar->isVisible()); // nothing was opened: the user may try again
        QCOMPARE(Lines(w.mAtualizar).size(), 7);
        QVERIFY(!AllVisibleText(w, driver.boxes).contains(Password()));
        QCOMPARE(l.db.Scalar("SELECT VERSAO_BANCO_DADOS FROM CONFIGURAR;"), QStringLiteral("1"));
    }
};

QTEST_MAIN(TestFaults)
#include "TestFaults.moc"
