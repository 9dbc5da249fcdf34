#include "firebird/ClientLibrary.h"
#include "firebird/DatabaseConnection.h"
#include "firebird/DatabaseStatement.h"
#include "firebird/Errors.h"
#include "firebird/internal/Status.h"
#include "tests/support/Relay.h"
#include "tests/support/TestServer.h"

#include <QElapsedTimer>
#include <QtTest>
#include <thread>

using namespace abd;
using namespace abd::test;

namespace {
const char* kSchema = R"(
CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, NOME CHAR(10), DESCR VARCHAR(20), VALOR NUMERIC(15,2),
                BIG NUMERIC(18,4), N INTEGER);
INSERT INTO T VALUES (1, 'um', 'um  ', 12.34, 5.5, NULL);
INSERT INTO T VALUES (2, 'dois', 'dois', -0.5, 1, 2);
)";

DatabaseError ExpectDatabaseError(const std::function<void()>& f) {
    try {
        f();
    } catch (const DatabaseError& e) {
        return e;
    }
    qFatal("no DatabaseError raised");
}

int CountOtherAttachments(const TempDatabase& db) {
    return db.Scalar("SELECT COUNT(*) FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID <> CURRENT_CONNECTION "
                     "AND MON$SYSTEM_FLAG = 0;")
        .toInt();
}
} // namespace

class TestDatabaseConnection : public QObject {
    Q_OBJECT
private slots:
    void clientLibraryIsFirebird3() {
        ClientLibrary& lib = ClientLibrary::Load();
        QCOMPARE(lib.Brand(), ClientBrand::Firebird);
        QVERIFY2(lib.Version() >= ClientLibrary::kVersion30 && lib.Version() < ClientLibrary::kVersion40,
                 qPrintable(QString::number(lib.Version())));
        QVERIFY(!lib.Embedded());
    }

    void firebird4TypesComeInKnownTypes() {
        TempDatabase db(kSchema);
        DatabaseConnection c("lortu", SettingsFor(db.Path()));
        c.Open();
        // A 4.0 server gives CURRENT_TIMESTAMP a time zone, which a 3.0 client cannot read unless the
        // attachment asks for it without.
        QCOMPARE(c.ExecSQLScalar("SELECT CURRENT_TIMESTAMP FROM RDB$DATABASE").GetType(),
                 Value::Type::DateTime);
        if (c.ServerVersionText().contains("Firebird 3."))
            return; // the 3.0 server has none of the types below
        const Value big = c.ExecSQLScalar("SELECT CAST(12345678901 AS INT128) FROM RDB$DATABASE");
        QCOMPARE(big.GetType(), Value::Type::Integer);
        QCOMPARE(big.AsInt64(), Q_INT64_C(12345678901));
        const Value dec = c.ExecSQLScalar("SELECT CAST(1.5 AS DECFLOAT(16)) FROM RDB$DATABASE");
        QCOMPARE(dec.GetType(), Value::Type::Double);
        QCOMPARE(dec.AsDouble(), 1.5);
        QCOMPARE(c.ExecSQLScalar("SELECT CURRENT_TIME FROM RDB$DATABASE").GetType(), Value::Type::Time);
    }

    void openCloseAndSettings() {
        TempDatabase db(kSchema);
        DatabaseConnection c("lortu", SettingsFor(db.Path()));
        c.Close(); // closed: nothing
        c.Open();
        c.Open(); // open: nothing
        QVERIFY(c.Connected());
        // The server the suite runs against (scripts/test.sh --firebird 4 sets ABD_FIREBIRD).
        QVERIFY2(
            c.ServerVersionText().contains("Firebird " + qEnvironmentVariable("ABD_FIREBIRD", "3") + "."),
            qPrintable(c.ServerVersionText()));
        QCOMPARE(CountOtherAttachments(db), 1);

        // Writing a setting of an open connection closes it, committing the active transaction.
        c.ExecSQLScalar("SELECT 1 FROM RDB$DATABASE");
        auto st = c.CreateStatement();
        st->Prepare("UPDATE T SET N = 7 WHERE ID = 1");
        st->Execute();
        c.SetParam("Server", Host());
        QVERIFY(!c.Connected());
        QCOMPARE(db.Scalar("SELECT N FROM T WHERE ID = 1;"), QStringLiteral("7"));
        QCOMPARE(CountOtherAttachments(db), 0);
    }

    void savepointNesting() {
        TempDatabase db(kSchema);
        DatabaseConnection c("lortu", SettingsFor(db.Path()));
        c.Open();
        QVERIFY(!c.InTransaction());
        c.ExecSQLScalar("SELECT ID FROM T WHERE ID = 1");
        QVERIFY(c.InTransaction()); // started automatically, left active
        c.StartTransaction();
        QCOMPARE(c.Levels().size(), std::size_t(2));
        QCOMPARE(c.Levels().back().Name, QStringLiteral("SP_2"));
        auto st = c.CreateStatement();
        st->Prepare("UPDATE T SET N = 10 WHERE ID = 2");
        st->Execute();
        c.Commit(); // releases the savepoint only
        QVERIFY(c.InTransaction());
        QCOMPARE(c.Levels().size(), std::size_t(1));

        // A rollback to a savepoint undoes only the later work.
        c.StartTransaction();
        st->Prepare("UPDATE T SET N = 99 WHERE ID = 2");
        st->Execute();
        c.Rollback();
        QVERIFY(c.InTransaction());
        QCOMPARE(c.ExecSQLScalar("SELECT N FROM T WHERE ID = 2").ToInteger(), 10);
        QCOMPARE(db.Scalar("SELECT N FROM T WHERE ID = 2;"), QStringLiteral("2")); // nothing committed yet

        c.Close(); // commits
        QCOMPARE(db.Scalar("SELECT N FROM T WHERE ID = 2;"), QStringLiteral("10"));

        // After reopening the transaction is a real one, serial 1, and its commit ends it.
        c.Open();
        c.StartTransaction();
        QCOMPARE(c.Levels().size(), std::size_t(1));
        QCOMPARE(c.Levels().front().Name, QStringLiteral("1"));
        st->Prepare("UPDATE T SET N = 11 WHERE ID = 2");
        st->Execute();
        c.Commit();
        QVERIFY(!c.InTransaction());
        QCOMPARE(db.Scalar("SELECT N FROM T WHERE ID = 2;"), QStringLiteral("11"));
    }

    void metadataTakesEffectAtCommitAndCommitFailureKeepsTransaction() {
        TempDatabase db(kSchema);
        DatabaseConnection c("lortu", SettingsFor(db.Path()));
        c.StartTransaction(); // opens the connection first
        auto st = c.CreateStatement();
        st->Prepare("CREATE TABLE U (A INTEGER)");
        st->Execute();
        QCOMPARE(st->RowsAffected(), 0);
        const DatabaseError e = ExpectDatabaseError([&] {
            st->Prepare("INSERT INTO U VALUES (1)");
            st->Execute();
        });
        QCOMPARE(e.Kind(), ekObjNotExists);
        c.Rollback();
        QVERIFY(!c.InTransaction());
        QCOMPARE(db.Scalar("SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'U';"), QStringLiteral("0"));
    }

    void errors() {
        TempDatabase db(kSchema);
        // Wrong password.
        ConnectionSettings wrong = SettingsFor(db.Path());
        wrong.SetValue("Password", "errada");
        DatabaseConnection bad("x", wrong);
        DatabaseError e = ExpectDatabaseError([&] { bad.Open(); });
        QCOMPARE(e.Kind(), ekUserPwdInvalid);
        QCOMPARE(e.ErrorCode(), 335544472);
        QCOMPARE(e.Items().front().SQLCode, -902);
        QCOMPARE(e.Items().front().SQLState, QStringLiteral("28000"));
        QVERIFY(e.Message().startsWith("[Dravix][Phys][FB]Your user name and password are not defined."));
        QCOMPARE(e.Items().front().RowIndex, -1); // no statement was executing
        QVERIFY(!bad.Connected());

        // Unknown alias.
        DatabaseConnection unknown("x", SettingsFor("NO_SUCH_ALIAS_ABD"));
        e = ExpectDatabaseError([&] { unknown.Open(); });
        QCOMPARE(e.ErrorCode(), 335544344);
        QCOMPARE(e.Kind(), ekOther);

        // Missing table at prepare: every line, then the SQL code's text.
        DatabaseConnection c("x", SettingsFor(db.Path()));
        e = ExpectDatabaseError([&] { c.ExecSQLScalar("SELECT * FROM NADA"); });
        QCOMPARE(e.Kind(), ekObjNotExists);
        QCOMPARE(e.ErrorCode(), 335544569);
        QCOMPARE(e.Items().front().ObjName, QStringLiteral("NADA"));
        QVERIFY2(e.Message().startsWith("[Dravix][Phys][FB]Dynamic SQL Error\r\nSQL error code = -204\r\n"
                                        "Table unknown\r\nNADA\r\nAt line 1, column 15\r\n"),
                 qPrintable(e.Message()));
        QCOMPARE(e.Items().front().RowIndex, -1); // raised while preparing

        // Raised while executing: the row index is 0, for an immediate statement, a prepared one and a fetch.
        auto exec = c.CreateStatement();
        for (const char* text : {"CREATE TABLE T (ID INTEGER)", "INSERT INTO T (ID) VALUES (1)",
                                 "SELECT 1 / (ID - 1) FROM T"}) {
            e = ExpectDatabaseError([&] {
                exec->Prepare(text);
                if (exec->Open())
                    while (exec->Fetch()) {
                    }
            });
            QCOMPARE(e.Items().front().RowIndex, 0);
        }

        // Missing trigger in ALTER TRIGGER.
        auto st = c.CreateStatement();
        e = ExpectDatabaseError([&] {
            st->Prepare("ALTER TRIGGER X INACTIVE");
            st->Execute();
        });
        QCOMPARE(e.Kind(), ekObjNotExists);
        QCOMPARE(e.ErrorCode(), 335544351);
        QCOMPARE(e.Items().front().ObjName, QStringLiteral("X"));
        QVERIFY(e.Message().startsWith("[Dravix][Phys][FB]unsuccessful metadata update\r\nALTER TRIGGER X failed\r\n"
                                       "Trigger X not found"));
        QCOMPARE(e.Items().front().SQLState, QStringLiteral("42000"));
        // A failing statement leaves the transaction usable.
        QCOMPARE(c.ExecSQLScalar("SELECT COUNT(*) FROM T").ToInteger(), 2);
    }

    void warningsRaiseNothing() {
        ClientLibrary& lib = ClientLibrary::Load();
        std::optional<DatabaseError> warning;
        // A zero status whose vector holds only a warning is recorded, not raised.
        const ISC_STATUS onlyWarning[] = {isc_arg_gds, 0, isc_arg_warning, isc_dsql_drop_table_failed, isc_arg_end};
        CheckStatus(lib, 0, onlyWarning, &warning);
        QVERIFY(warning.has_value());
        QVERIFY(warning->Message().startsWith("[Dravix][Phys][FB]"));
        // A status value with the warning bits set is no error either.
        warning.reset();
        const ISC_STATUS error[] = {isc_arg_gds, isc_login, isc_arg_end};
        CheckStatus(lib, 0x40000000 | isc_login, error, &warning);
        QVERIFY(warning.has_value());
        QVERIFY_THROWS_EXCEPTION(DatabaseError, CheckStatus(lib, isc_login, error, &warning));
    }

    void nothingListening() {
        ConnectionSettings s = SettingsFor("LORTU");
        s.SetValue("Port", "3051");
        DatabaseConnection c("x", s);
        c.SetReconnectPause(50);
        QElapsedTimer t;
        t.start();
        const DatabaseError e = ExpectDatabaseError([&] { c.Open(); });
        QCOMPARE(e.Kind(), ekServerGone);
        QCOMPARE(e.ErrorCode(), 335544721);
        QVERIFY(e.Message().contains("Unable to complete network request to host \"127.0.0.1\"."));
        QVERIFY(t.elapsed() >= 100); // two pauses: four attempts in all
        QCOMPARE(c.State(), ConnectionState::Closed);
    }

    void cancelEndsTheReconnectionPauses() {
        ConnectionSettings s = SettingsFor("LORTU");
        s.SetValue("Port", "3051");
        DatabaseConnection c("x", s); // three-second pauses, as the program has them
        QElapsedTimer t;
        t.start();
        std::thread canceller([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            c.CancelOperation();
        });
        const DatabaseError e = ExpectDatabaseError([&] { c.Open(); });
        canceller.join();
        QCOMPARE(e.Kind(), ekServerGone);
        QVERIFY2(t.elapsed() < 2500, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(c.State(), ConnectionState::Closed);
        // A new opening forgets the request: its pauses are whole again.
        c.SetReconnectPause(400);
        t.restart();
        ExpectDatabaseError([&] { c.Open(); });
        QVERIFY(t.elapsed() >= 800);
    }

    void disconnectCommitsNothing() {
        TempDatabase db(kSchema);
        DatabaseConnection c("x", SettingsFor(db.Path()));
        c.StartTransaction();
        auto st = c.CreateStatement();
        st->Prepare("UPDATE T SET N = 99 WHERE ID = 2");
        st->Execute();
        c.Disconnect(); // where Close would commit
        QVERIFY(!c.Connected());
        QVERIFY(!c.InTransaction());
        QTRY_COMPARE(CountOtherAttachments(db), 0);
        QCOMPARE(db.Scalar("SELECT N FROM T WHERE ID = 2;"), QStringLiteral("2"));
        c.Open(); // usable again
        QCOMPARE(c.ExecSQLScalar("SELECT COUNT(*) FROM T").ToInteger(), 2);
    }

    void recoveredOpeningAttachesOnce() {
        TempDatabase db(kSchema);
        // The network comes back 1.5 s after the first attempt: the third attempt of the recovery gets through.
        Relay late(3052, 1500);
        ConnectionSettings s = SettingsFor(db.Path());
        s.SetValue("Port", "3052");
        DatabaseConnection c("x", s);
        c.SetReconnectPause(1000);
        c.Open();
        QVERIFY(c.Connected());
        QCOMPARE(late.Accepted(), 1);
        QCOMPARE(CountOtherAttachments(db), 1);
        QCOMPARE(c.ExecSQLScalar("SELECT COUNT(*) FROM T").ToInteger(), 2);
        c.Close();
        QTRY_COMPARE(CountOtherAttachments(db), 0);
    }

    void reconnectAfterCutOff() {
        TempDatabase db(kSchema);
        DatabaseConnection c("x", SettingsFor(db.Path()));
        c.SetReconnectPause(50);
        QCOMPARE(c.ExecSQLScalar("SELECT COUNT(*) FROM T").ToInteger(), 2);
        const QString before = db.Scalar("SELECT MAX(MON$ATTACHMENT_ID) FROM MON$ATTACHMENTS WHERE MON$SYSTEM_FLAG = 0 "
                                         "AND MON$ATTACHMENT_ID <> CURRENT_CONNECTION;");
        db.Isql("DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID <> CURRENT_CONNECTION AND MON$SYSTEM_FLAG = 0;");
        // Only reads ran in the lost transaction: the statement runs again on a new attachment.
        QCOMPARE(c.ExecSQLScalar("SELECT COUNT(*) FROM T WHERE ID > 1").ToInteger(), 1);
        QVERIFY(c.Connected());
        QCOMPARE(c.Levels().front().Serial, 1);
        const QString after = db.Scalar("SELECT MAX(MON$ATTACHMENT_ID) FROM MON$ATTACHMENTS WHERE MON$SYSTEM_FLAG = 0 "
                                        "AND MON$ATTACHMENT_ID <> CURRENT_CONNECTION;");
        QVERIFY(after.toInt() > before.toInt());
    }

    void cutOffInsideExplicitTransactionIsNotRerun() {
        TempDatabase db(kSchema);
        DatabaseConnection c("x", SettingsFor(db.Path()));
        c.SetReconnectPause(50);
        c.StartTransaction();
        auto st = c.CreateStatement();
        st->Prepare("UPDATE T SET N = 50 WHERE ID = 1");
        st->Execute();
        db.Isql("DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID <> CURRENT_CONNECTION AND MON$SYSTEM_FLAG = 0;");
        // Running the next statement on a new transaction would commit half of the work: it fails instead,
        // and so does everything else until the lost transaction is rolled back.
        const DatabaseError e = ExpectDatabaseError([&] {
            st->Prepare("UPDATE T SET N = 51 WHERE ID = 2");
            st->Execute();
        });
        QCOMPARE(e.Kind(), ekServerGone);
        QVERIFY(c.Connected());
        QVERIFY(c.InTransaction());
        const int attachments = CountOtherAttachments(db);
        for (const auto& attempt : std::vector<std::function<void()>>{
                 [&] { st->Prepare("UPDATE T SET N = 52 WHERE ID = 2"); },
                 [&] { c.ExecSQLScalar("SELECT COUNT(*) FROM T"); },
                 [&] { c.StartTransaction(); },
                 [&] { c.Commit(); },
                 [&] { c.Close(); }}) {
            const DatabaseError again = ExpectDatabaseError(attempt);
            QCOMPARE(again.Message(), e.Message());
        }
        QCOMPARE(CountOtherAttachments(db), attachments); // no further reattachment
        c.Rollback();
        QVERIFY(!c.InTransaction());
        QCOMPARE(c.ExecSQLScalar("SELECT COUNT(*) FROM T").ToInteger(), 2);
        c.Close();
        QCOMPARE(db.Scalar("SELECT COALESCE(N, 0) FROM T WHERE ID = 1;"), QStringLiteral("0"));
        QCOMPARE(db.Scalar("SELECT N FROM T WHERE ID = 2;"), QStringLiteral("2"));
    }

    void statements() {
        TempDatabase db(kSchema);
        DatabaseConnection c("x", SettingsFor(db.Path()));
        auto st = c.CreateStatement();
        st->Prepare("UPDATE T SET N = 3 WHERE ID = 2");
        QVERIFY(!st->Open());
        QCOMPARE(st->RowsAffected(), 1);
        QVERIFY(st->RowCountKnown());
        st->Prepare("UPDATE T SET N = 3 WHERE ID = 99");
        st->Execute();
        QCOMPARE(st->RowsAffected(), 0);
        QVERIFY(st->RowCountKnown());
        st->Prepare("INSERT INTO T (ID) VALUES (3)");
        st->Execute();
        QCOMPARE(st->RowsAffected(), 1);
        st->Prepare("DELETE FROM T WHERE ID >= 2");
        st->Execute();
        QCOMPARE(st->RowsAffected(), 2);
        st->Prepare("CREATE DOMAIN D1 AS CHAR(1)");
        QVERIFY(!st->Open());
        QCOMPARE(st->RowsAffected(), 0);
        QVERIFY(!st->RowCountKnown());
        st->Prepare("SELECT ID, NOME FROM T ORDER BY ID");
        QVERIFY(st->Open());
        QCOMPARE(st->Columns().size(), std::size_t(2));
        QCOMPARE(st->Columns()[1].Name, QStringLiteral("NOME"));
        QVERIFY(st->Fetch());
        QCOMPARE(st->Row()[1].ToText(), QStringLiteral("um"));
        QVERIFY(!st->Fetch());
        QVERIFY(!st->CursorOpen());

        // A text of 65536 bytes or more goes with length 0, as a zero-terminated string.
        QString longText = "SELECT COUNT(*) FROM T /*" + QString(70000, QLatin1Char('x')) + "*/";
        QCOMPARE(c.ExecSQLScalar(longText).ToInteger(), 1);
    }

    void scalarValues() {
        TempDatabase db(kSchema);
        DatabaseConnection c("x", SettingsFor(db.Path()));
        QVERIFY(c.ExecSQLScalar("SELECT ID FROM T WHERE ID = 99").IsEmpty());
        const Value null = c.ExecSQLScalar("SELECT N FROM T WHERE ID = 1");
        QVERIFY(null.IsNull());
        try {
            null.ToInteger();
            QFAIL("no error");
        } catch (const Failure& f) {
            QCOMPARE(f.Message(), QStringLiteral("Não é possível converter tipo de variant (Null) em tipo (Integer)"));
        }
        QCOMPARE(c.ExecSQLScalar("SELECT NOME FROM T WHERE ID = 1").ToText(), QStringLiteral("um"));
        QCOMPARE(c.ExecSQLScalar("SELECT DESCR FROM T WHERE ID = 1").ToText(), QStringLiteral("um  "));
        const Value money = c.ExecSQLScalar("SELECT VALOR FROM T WHERE ID = 1");
        QCOMPARE(money.GetType(), Value::Type::Currency);
        QCOMPARE(money.AsInt64(), 123400);
        QCOMPARE(c.ExecSQLScalar("SELECT VALOR FROM T WHERE ID = 2").ToText(), QStringLiteral("-0.5"));
        const Value big = c.ExecSQLScalar("SELECT BIG FROM T WHERE ID = 1");
        QCOMPARE(big.GetType(), Value::Type::Decimal);
        QCOMPARE(big.AsInt64(), 55000);
        QCOMPARE(c.ExecSQLScalar("SELECT 'ação' FROM RDB$DATABASE").ToText(), QStringLiteral("ação"));

        // The same text twice is prepared once.
        const int before = c.ServerPrepareCount();
        c.ExecSQLScalar("SELECT COUNT(*) FROM T");
        c.ExecSQLScalar("SELECT COUNT(*) FROM T");
        QCOMPARE(c.ServerPrepareCount() - before, 1);
    }
};

QTEST_GUILESS_MAIN(TestDatabaseConnection)
#include "TestDatabaseConnection.moc"
