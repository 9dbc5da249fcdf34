#include "firebird/DatabaseConnection.h"
#include "firebird/Errors.h"
#include "firebird/Failure.h"
#include "script/ScriptRunner.h"
#include "tests/support/TestServer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
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

/// A database of its own with the schema, a connection to it and a runner whose console is recorded.
struct Setup {
    Setup() : db(kSchema), c("lortu", SettingsFor(db.Path())), r("s", &c) { console.Attach(r); }
    TempDatabase db;
    DatabaseConnection c;
    ScriptRunner r;
    Console console;
};

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
        Setup setup;
        auto& [db, c, r, console] = setup;
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
        Setup setup;
        auto& [db, c, r, console] = setup;
        r.SQLScripts = {{"versao.sql", {"DROP TABLE NAO_EXISTE;", "SELECT ID, EXPURGO FROM CONFIGURAR;"}}};
        QVERIFY(r.ExecuteAll());
        const QStringList lines = Untimed(console.messages);
        QCOMPARE(lines.first(), QStringLiteral("Running script [versao.sql] ..."));
        // Dropping what is not there is said, then has its outcome line like any other command.
        const qsizetype dropped = lines.indexOf("[NAO_EXISTE] does not exists.");
        QVERIFY(dropped > 0);
        QCOMPARE(lines[dropped + 1], QStringLiteral("Ok [T]."));
        QVERIFY(lines.contains("1 row selected."));
        QVERIFY(lines.contains("ID EXPURGO"));
        QVERIFY(lines.contains("1  N      "));
        QCOMPARE(lines.mid(lines.size() - 2), (QStringList{"Script [versao.sql] finished without errors [T].", ""}));
        QCOMPARE(console.kinds.last(), soSeparator);
        QCOMPARE(r.TotalErrors(), 0);
    }

    void validationSendsNothing() {
        Setup setup;
        auto& [db, c, r, console] = setup;
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

    void stopWhenEndsThePass_data() {
        QTest::addColumn<int>("stopAtEcho");
        QTest::addColumn<int>("clientes");
        // Decided before the pass started: nothing is sent.
        QTest::newRow("before the pass") << 0 << 1;
        // Decided at the second statement's echo: the first is sent, the second and third are not.
        QTest::newRow("between statements") << 2 << 2;
    }
    void stopWhenEndsThePass() {
        QFETCH(int, stopAtEcho);
        QFETCH(int, clientes);
        Setup setup;
        auto& [db, c, r, console] = setup;
        bool stop = stopAtEcho == 0;
        int echoes = 0;
        r.OnConsolePut = [&](ScriptRunner&, const QString&, ConsoleKind kind) {
            if (kind == soEcho && ++echoes == stopAtEcho)
                stop = true;
        };
        r.StopWhen = [&] { return stop; };
        r.SQLScripts = {{QString(),
                         {"INSERT INTO CLIENTE VALUES (2, 5);", "INSERT INTO CLIENTE VALUES (3, 5);",
                          "INSERT INTO CLIENTE VALUES (4, 5);"}}};
        c.StartTransaction();
        r.ExecuteAll();
        QCOMPARE(r.Status(), ssAborted);
        QCOMPARE(echoes, stopAtEcho);
        QCOMPARE(c.ExecSQLScalar("SELECT COUNT(*) FROM CLIENTE").ToInteger(), clientes);
        c.Rollback();
    }

    void abortJobCancelsTheRunningStatement() {
        Setup setup;
        auto& [db, c, r, console] = setup;
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

    void scriptsNobodyHereWrote_data() {
        QTest::addColumn<QStringList>("script");
        QTest::addColumn<QString>("check");
        QTest::addColumn<QString>("expected");
        QTest::newRow("multi-character terminator")
            << QStringList{"SET TERM !! ;", "CREATE PROCEDURE P1 AS DECLARE V INT; BEGIN V = 1; END !!",
                           "SET TERM ; !!", "SELECT 1 FROM RDB$DATABASE;"}
            << "SELECT COUNT(*) FROM RDB$PROCEDURES WHERE RDB$PROCEDURE_NAME = 'P1'" << "1";
        QTest::newRow("procedure under ;")
            << QStringList{"create procedure p2 as declare v int; begin v = 1; if (v = 1) then begin v = 2; end end;",
                           "insert into cliente values (7, 1);"}
            << "SELECT COUNT(*) FROM RDB$PROCEDURES WHERE RDB$PROCEDURE_NAME = 'P2' AND EXISTS (SELECT 1 FROM CLIENTE "
               "WHERE ID = 7)"
            << "1";
        QTest::newRow("trailing comment") << QStringList{"insert into cliente values (8, 1);", "/* end */"}
                                          << "SELECT COUNT(*) FROM CLIENTE WHERE ID = 8" << "1";
        QTest::newRow("table called quit")
            << QStringList{"UPDATE CONFIGURAR SET EXPURGO = 'Q';", "CREATE TABLE QUIT (ID INTEGER);",
                           "COMMIT;", "INSERT INTO QUIT VALUES (1);"}
            << "SELECT (SELECT COUNT(*) FROM QUIT) || EXPURGO FROM CONFIGURAR" << "1Q";
        QTest::newRow("commit twice") << QStringList{"insert into cliente values (9, 1);", "commit;", "commit;"}
                                      << "SELECT COUNT(*) FROM CLIENTE WHERE ID = 9" << "1";
        QTest::newRow("procedure called help")
            << QStringList{"create procedure help as begin update configurar set expurgo = 'H'; end;",
                           "EXECUTE PROCEDURE HELP;"}
            << "SELECT EXPURGO FROM CONFIGURAR" << "H";
    }
    void scriptsNobodyHereWrote() {
        QFETCH(QStringList, script);
        QFETCH(QString, check);
        QFETCH(QString, expected);
        Setup setup;
        auto& [db, c, r, console] = setup;
        r.SQLScripts = {{QString(), script}};
        c.StartTransaction();
        QVERIFY2(r.ExecuteAll(), qPrintable(console.messages.join('\n')));
        QCOMPARE(r.TotalErrors(), 0);
        QCOMPARE(c.ExecSQLScalar(check).ToText(), expected);
        c.Rollback();
    }

    void aFileReachesTheServerWithItsLineBreaks() {
        TempDatabase db("CREATE TABLE NOTA (TEXTO VARCHAR(20));");
        QTemporaryDir dir;
        QFile f(dir.filePath("nota.sql"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("INSERT INTO NOTA VALUES ('a\nb');\nINSERT INTO NOTA VALUES ('c\xc3\xa7');\n");
        f.close();
        DatabaseConnection c("lortu", SettingsFor(db.Path()));
        ScriptRunner r("s", &c);
        r.SQLScripts = {ReadScriptFile(f.fileName())};
        QCOMPARE(r.SQLScripts.front().Name, QStringLiteral("nota.sql"));
        QVERIFY(r.ExecuteAll());
        QCOMPARE(c.ExecSQLScalar("SELECT TEXTO FROM NOTA WHERE TEXTO STARTING WITH 'a'").ToText(), QStringLiteral("a\nb"));
        QCOMPARE(c.ExecSQLScalar("SELECT TEXTO FROM NOTA WHERE TEXTO STARTING WITH 'c'").ToText(), QStringLiteral("c\u00e7"));
        c.Close();
        QVERIFY_THROWS_EXCEPTION(Failure, ReadScriptFile(dir.filePath("nao-existe.sql")));
    }

    void unterminatedLastStatementIsSaidAndRun() {
        Setup setup;
        auto& [db, c, r, console] = setup;
        r.Options.Timing = false;
        r.SQLScripts = {{QString(), {"UPDATE CONFIGURAR SET EXPURGO = 'U';", "UPDATE CONFIGURAR SET EXPURGO = 'V'"}}};
        QVERIFY(r.ExecuteAll());
        QCOMPARE(console.messages.mid(2), (QStringList{"UPDATE CONFIGURAR SET EXPURGO = 'V'",
                                                        "The last statement of the script has no terminator [;]; it "
                                                        "runs as written.",
                                                        "1 row processed."}));
        QCOMPARE(console.kinds[3], soInfo);
        QCOMPARE(c.ExecSQLScalar("SELECT EXPURGO FROM CONFIGURAR").ToText(), QStringLiteral("V"));
    }

    void isqlSwitches() {
        Setup setup;
        auto& [db, c, r, console] = setup;
        r.Options.Timing = false;
        // AUTODDL commits each definition; PLANONLY prepares (the server checks) and runs nothing; SHOW says it
        // is ignored; BAIL stops at the first error.
        r.SQLScripts = {{QString(),
                         {"SET AUTODDL ON;", "CREATE TABLE NOVA (A INTEGER);", "INSERT INTO NOVA VALUES (1);",
                          "SET AUTODDL OFF;", "SET PLANONLY ON;", "INSERT INTO NOVA VALUES (2);",
                          "SET PLANONLY OFF;", "SHOW TABLES;", "SET BAIL ON;", "SELECT * FROM NAO_EXISTE;",
                          "INSERT INTO NOVA VALUES (3);"}}};
        c.StartTransaction();
        QVERIFY_THROWS_EXCEPTION(DatabaseError, r.ExecuteAll());
        QVERIFY(console.messages.contains("Ignored: SHOW TABLES"));
        QVERIFY(!console.messages.join('\n').contains("VALUES (3)")); // never reached
        QCOMPARE(r.Options.BreakOnError, false);                       // the script's SET ended with the pass
        c.Rollback();
        // The table was committed with its definition; the rows were not.
        QCOMPARE(c.ExecSQLScalar("SELECT COUNT(*) FROM NOVA").ToInteger(), 0);
    }

    void paramsEscapesAndDoubledBang() {
        TempDatabase db("CREATE TABLE D (ID INTEGER, DIA DATE, NOME VARCHAR(10));");
        DatabaseConnection c("lortu", SettingsFor(db.Path()));
        ScriptRunner r("s", &c);
        Console console;
        console.Attach(r);
        r.Params.insert("id", 5);
        r.Params.insert("NOME", QVariant()); // null
        r.SQLScripts = {{QString(), {"INSERT INTO D VALUES (:ID, {d '2020-01-02'}, :NOME);",
                                     "INSERT INTO D VALUES (:OUTRO, NULL, 'x');", "SELECT 'a!!b' AS X FROM RDB$DATABASE;"}}};
        QVERIFY2(r.ExecuteAll(), qPrintable(console.messages.join('\n')));
        QCOMPARE(c.ExecSQLScalar("SELECT ID || ' ' || DIA || ' ' || COALESCE(NOME, '-') FROM D WHERE ID IS NOT NULL").ToText(),
                 QStringLiteral("5 2020-01-02 -"));
        QCOMPARE(c.ExecSQLScalar("SELECT COUNT(*) FROM D WHERE ID IS NULL").ToInteger(), 1); // a missing one is NULL
        // "!!" stands for one "!" even without macros.
        QVERIFY(console.messages.contains("a!b"));
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
