#include "firebird/DatabaseConnection.h"
#include "firebird/Errors.h"
#include "script/ScriptRunner.h"
#include "tests/support/TestServer.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QtTest>
#include <thread>

using namespace abd;
using namespace abd::test;

namespace {
const char* kSchema = R"(
CREATE TABLE CONFIGURAR (ID INTEGER NOT NULL PRIMARY KEY, VERSAO_BANCO_DADOS INTEGER, EXPURGO CHAR(1));
INSERT INTO CONFIGURAR VALUES (1, 1, 'N');
CREATE TABLE CLIENTE (ID INTEGER NOT NULL PRIMARY KEY, SALDO NUMERIC(15,2));
INSERT INTO CLIENTE VALUES (1, 100);
CREATE TABLE MOVIMENTO (ID INTEGER NOT NULL PRIMARY KEY, CLIENTE_ID INTEGER, VALOR NUMERIC(15,2));
SET TERM ^ ;
CREATE TRIGGER TR_MOV FOR MOVIMENTO AFTER DELETE AS BEGIN END^
SET TERM ; ^
)";

struct Console {
    QStringList messages;
    QList<ConsoleKind> kinds;
    void Attach(ScriptRunner& r) {
        r.OnConsolePut = [this](ScriptRunner&, const QString& m, ConsoleKind k) {
            messages << m;
            kinds << k;
        };
    }
};

const QRegularExpression kTime(QStringLiteral("\\[\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d\\]"));

/// Replaces every elapsed time with [T], so that lines can be compared whole.
QStringList Untimed(const QStringList& lines) {
    QStringList out;
    for (QString l : lines)
        out << l.replace(kTime, QStringLiteral("[T]"));
    return out;
}

class RecordingCursor : public WaitCursor {
public:
    QStringList calls;
    void Show() override { calls << "show"; }
    void HideAfter(int ms) override { calls << QStringLiteral("hide %1").arg(ms); }
};
} // namespace

class TestScriptRunner : public QObject {
    Q_OBJECT
private slots:
    void triggerScriptGivesFourMessages() {
        TempDatabase db(kSchema);
        DatabaseConnection c("lortu", SettingsFor(db.Path()));
        ScriptRunner r("sVersao2", &c);
        Console console;
        console.Attach(r);
        RecordingCursor cursor;
        r.Cursor = &cursor;
        r.SQLScripts = {{QString(),
                         {"SET TERM ^ ;", "", "ALTER TRIGGER TR_MOV", "AS", "DECLARE VARIABLE C_X CHAR(1);", "BEGIN",
                          "  SELECT EXPURGO FROM CONFIGURAR WHERE ID = 1 INTO :C_X;", "END", "^", "", "SET TERM ; ^", "",
                          "UPDATE CONFIGURAR", "SET VERSAO_BANCO_DADOS = 2", "WHERE ID = 1;"}}};
        c.Open();
        c.StartTransaction();
        QVERIFY(r.ValidateAll());
        QVERIFY(console.messages.isEmpty());
        QVERIFY(r.ExecuteAll());
        QCOMPARE(Untimed(console.messages),
                 (QStringList{"\r\nALTER TRIGGER TR_MOV\r\nAS\r\nDECLARE VARIABLE C_X C ...", "Ok [T].",
                              "\r\nUPDATE CONFIGURAR\r\nSET VERSAO_BANCO_DADOS = 2\r\nW ...", "1 row processed [T]."}));
        QCOMPARE(console.kinds, (QList<ConsoleKind>{soEcho, soCommand, soEcho, soCommand}));
        QCOMPARE(r.Status(), ssFinishSuccess);
        QCOMPARE(r.Options.ActualCommandSeparator, QStringLiteral(";")); // the script's SET TERM ended with the pass
        QCOMPARE(cursor.calls, (QStringList{"show", "hide 50", "show", "hide 50"}));
        // The runner neither commits nor rolls back: the statements wait in the caller's transaction.
        QCOMPARE(db.Scalar("SELECT VERSAO_BANCO_DADOS FROM CONFIGURAR;"), QStringLiteral("1"));
        c.Commit();
        QCOMPARE(db.Scalar("SELECT VERSAO_BANCO_DADOS FROM CONFIGURAR;"), QStringLiteral("2"));
    }

    void failingStatement_data() {
        QTest::addColumn<bool>("breakOnError");
        QTest::newRow("carry on") << false;
        QTest::newRow("break") << true;
    }
    void failingStatement() {
        QFETCH(bool, breakOnError);
        TempDatabase db(kSchema);
        DatabaseConnection c("lortu", SettingsFor(db.Path()));
        ScriptRunner r("s", &c);
        Console console;
        console.Attach(r);
        r.Options.BreakOnError = breakOnError;
        r.Options.Timing = false;
        r.SQLScripts = {{QString(), {"ALTER TRIGGER NAO_EXISTE INACTIVE;", "UPDATE CONFIGURAR SET EXPURGO = 'S';",
                                     "UPDATE CONFIGURAR SET EXPURGO = 'X' WHERE ID = 9;"}}};
        c.StartTransaction();
        bool raised = false;
        bool result = true;
        try {
            result = r.ExecuteAll();
        } catch (const DatabaseError& e) {
            raised = true;
            QCOMPARE(e.Kind(), ekObjNotExists);
        }
        QCOMPARE(raised, breakOnError);
        QCOMPARE(r.TotalErrors(), 1);
        QCOMPARE(r.Status(), ssFinishWithErrors);
        QCOMPARE(r.Options.BreakOnError, breakOnError);
        QCOMPARE(console.messages[0], QStringLiteral("ALTER TRIGGER NAO_EXISTE INACTIVE;\r"));
        QVERIFY(console.messages[1].startsWith("ERROR: unsuccessful metadata update\r\nALTER TRIGGER NAO_EXISTE failed"));
        QCOMPARE(console.kinds[1], soError);
        if (breakOnError) {
            QCOMPARE(console.messages.size(), 2);
        } else {
            QVERIFY(!result);
            QCOMPARE(console.messages.mid(2),
                     (QStringList{"UPDATE CONFIGURAR SET EXPURGO = 'S';\r", "1 row processed.",
                                  "UPDATE CONFIGURAR SET EXPURGO = 'X' WHERE ID = 9;", "no rows processed."}));
        }
        c.Rollback();
    }

    void dropsNamedScriptsAndQueries() {
        TempDatabase db(kSchema);
        DatabaseConnection c("lortu", SettingsFor(db.Path()));
        ScriptRunner r("s", &c);
        Console console;
        console.Attach(r);
        r.SQLScripts = {{"versao.sql", {"DROP TABLE NAO_EXISTE;", "SELECT ID, EXPURGO FROM CONFIGURAR;"}}};
        QVERIFY(r.ExecuteAll());
        const QStringList lines = Untimed(console.messages);
        QCOMPARE(lines.first(), QStringLiteral("Running script [versao.sql] ..."));
        QVERIFY(lines.contains("[NAO_EXISTE] does not exists."));
        QVERIFY(lines.contains("1 row selected."));
        QVERIFY(lines.contains("ID EXPURGO"));
        QVERIFY(lines.contains("1  N      "));
        QCOMPARE(lines.mid(lines.size() - 2), (QStringList{"Script [versao.sql] finished without errors [T].", ""}));
        QCOMPARE(console.kinds.last(), soSeparator);
        QCOMPARE(r.TotalErrors(), 0);
    }

    void validationSendsNothing() {
        TempDatabase db(kSchema);
        DatabaseConnection c("lortu", SettingsFor(db.Path()));
        ScriptRunner r("s", &c);
        Console console;
        console.Attach(r);
        r.SQLScripts = {{QString(), {"UPDATE CONFIGURAR SET EXPURGO = 'Z';", "SET ECHO MAYBE;", "DELETE FROM CLIENTE;"}}};
        QVERIFY(!r.ValidateAll());
        QCOMPARE(console.messages, QStringList{"ERROR: [Dravix][Comp][Script]-803. Invalid SET command argument"});
        QVERIFY(!c.Connected()); // the pass never opened the connection
        QCOMPARE(db.Scalar("SELECT EXPURGO FROM CONFIGURAR;"), QStringLiteral("N"));
    }

    void exitCommitsAndQuitRollsBack_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("expurgo");
        QTest::newRow("exit") << "EXIT;" << "S";
        QTest::newRow("quit") << "QUIT;" << "N";
    }
    void exitCommitsAndQuitRollsBack() {
        QFETCH(QString, command);
        QFETCH(QString, expurgo);
        TempDatabase db(kSchema);
        DatabaseConnection c("lortu", SettingsFor(db.Path()));
        ScriptRunner r("s", &c);
        r.Options.FeedbackCommands = false;
        Console console;
        console.Attach(r);
        r.SQLScripts = {{QString(), {"UPDATE CONFIGURAR SET EXPURGO = 'S';", command, "DELETE FROM CLIENTE;"}}};
        c.StartTransaction();
        QVERIFY(r.ExecuteAll());
        QVERIFY(!c.InTransaction());
        QCOMPARE(console.messages.size(), 1); // only the first echo: the statement after it is never read
        QCOMPARE(db.Scalar("SELECT EXPURGO FROM CONFIGURAR;"), expurgo);
        QCOMPARE(db.Scalar("SELECT COUNT(*) FROM CLIENTE;"), QStringLiteral("1"));
    }

    void abortJobCancelsTheRunningStatement() {
        TempDatabase db(kSchema);
        DatabaseConnection c("lortu", SettingsFor(db.Path()));
        ScriptRunner r("s", &c);
        Console console;
        console.Attach(r);
        r.Options.Timing = false;
        // The block keeps the server busy for 60 seconds unless it is cancelled.
        r.SQLScripts = {{QString(),
                         {"INSERT INTO CLIENTE VALUES (2, 5);", "SET TERM ^ ;",
                          "EXECUTE BLOCK AS DECLARE T0 TIMESTAMP; BEGIN T0 = CAST('NOW' AS TIMESTAMP);",
                          "  WHILE (DATEDIFF(MILLISECOND FROM T0 TO CAST('NOW' AS TIMESTAMP)) < 60000) DO T0 = T0;",
                          "END^", "SET TERM ; ^", "INSERT INTO CLIENTE VALUES (3, 5);"}}};
        c.StartTransaction();
        QElapsedTimer elapsed;
        elapsed.start();
        bool result = true;
        std::thread pass([&] { result = r.ExecuteAll(); });
        QTRY_VERIFY(console.messages.size() >= 3); // the block's echo: it is at the server now
        QTest::qWait(300);
        r.AbortJob();
        pass.join();
        QVERIFY2(elapsed.elapsed() < 20000, qPrintable(QString::number(elapsed.elapsed())));
        QVERIFY(!result);
        QCOMPARE(r.Status(), ssAborted);
        QVERIFY2(console.messages[3].startsWith("ERROR: operation was cancelled"), qPrintable(console.messages[3]));
        QCOMPARE(console.messages.size(), 4); // the statement after the block never ran
        // The step's transaction is still there to be rolled back.
        QVERIFY(c.InTransaction());
        c.Rollback();
        QCOMPARE(c.ExecSQLScalar("SELECT COUNT(*) FROM CLIENTE").ToInteger(), 1);
    }

    void layerErrors() {
        ScriptRunner none("sVersao9");
        none.SQLScripts = {{QString(), {"SELECT 1 FROM RDB$DATABASE;"}}};
        try {
            none.ExecuteAll();
            QFAIL("no error");
        } catch (const AccessError& e) {
            QCOMPARE(e.Message(), QStringLiteral("[Dravix][Comp][Script]-512. Connection is not defined for [sVersao9]. "
                                                 "Possible reason: Connection and ConnectionName property values are both empty"));
        }
        DatabaseConnection c("lortu", SettingsFor("x"));
        ScriptRunner empty("sVersao9", &c);
        try {
            empty.ValidateAll();
            QFAIL("no error");
        } catch (const AccessError& e) {
            QCOMPARE(e.Code(), 811);
            QVERIFY(e.Message().contains("No script to execute for [sVersao9]."));
        }
    }
};

QTEST_GUILESS_MAIN(TestScriptRunner)
#include "TestScriptRunner.moc"
