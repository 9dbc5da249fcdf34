#include "firebird/ClientLibrary.h"
#include "firebird/StatementKind.h"
#include "firebird/VersionText.h"

#include <QtTest>

using namespace abd;

// The small pure helpers of the client library: version texts, brands and statement kinds.
class TestVersionText : public QObject {
    Q_OBJECT
private slots:
    void parse_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("version");
        QTest::newRow("four parts") << "WI-V2.5.9.27139" << 205099900;
        QTest::newRow("plain") << "3.0.11" << 300110000;
        QTest::newRow("five") << "4.0.1.2.3" << 400010203;
        QTest::newRow("no digits in part") << "1.x.2" << 100020000;
        QTest::newRow("nothing") << "none" << 0;
    }
    void parse() {
        QFETCH(QString, text);
        QFETCH(int, version);
        QCOMPARE(ParseVersionText(text), version);
    }

    void debianClientIsFirebird3() {
        const QString text = ClientVersionText("/usr/lib/x86_64-linux-gnu/libfbclient.so.3.0.11",
                                               "LI-V6.3.11.33637 Firebird 3.0");
        QCOMPARE(text, QStringLiteral("3.0.11.33637"));
        const int v = ParseVersionText(text);
        QVERIFY(v >= ClientLibrary::kVersion30 && v < ClientLibrary::kVersion40);
        QCOMPARE(ParseVersionText(ClientVersionText("/opt/libfbclient.so", "LI-V6.3.11.33637 Firebird 3.0")), 300000000);
        QCOMPARE(BrandOf("LI-V6.3.11.33637 Firebird 3.0"), ClientBrand::Firebird);
        QCOMPARE(BrandOf("WI-V InterBase"), ClientBrand::InterBase);
        QCOMPARE(BrandOf(""), ClientBrand::Other);
    }

    void candidatesJoined() {
        QCOMPARE(JoinCandidates({"fbclient.dll", "fbembed.dll"}), QStringLiteral("fbclient.dll or fbembed.dll"));
        QCOMPARE(JoinCandidates({"a", "b", "c"}), QStringLiteral("a, b or c"));
    }

    void statementKinds_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("kind");
        QTest::newRow("select") << "\r\n-- c;\r\n select * from t" << int(StatementKind::Select);
        QTest::newRow("select into") << "SELECT a FROM t INTO :x" << int(StatementKind::Insert);
        QTest::newRow("insert returning") << "insert into t values (1) returning id" << int(StatementKind::SelectForLock);
        QTest::newRow("update or insert") << "UPDATE OR INSERT INTO t" << int(StatementKind::Merge);
        QTest::newRow("update") << "/* x */ UPDATE CONFIGURAR SET A = 'select'" << int(StatementKind::Update);
        QTest::newRow("delete") << "DELETE FROM MOVIMENTO" << int(StatementKind::Delete);
        QTest::newRow("alter") << "\r\nALTER TRIGGER X ACTIVE" << int(StatementKind::Alter);
        QTest::newRow("create") << "create domain d as char" << int(StatementKind::Create);
        QTest::newRow("drop") << "DROP TABLE T" << int(StatementKind::Drop);
        QTest::newRow("set transaction") << "SET TRANSACTION" << int(StatementKind::StartTransaction);
        QTest::newRow("set generator") << "SET GENERATOR G TO 1" << int(StatementKind::Set);
        QTest::newRow("rollback") << "ROLLBACK WORK" << int(StatementKind::Rollback);
        QTest::newRow("rollback to") << "ROLLBACK TO SAVEPOINT A" << int(StatementKind::Other);
        QTest::newRow("recreate") << "RECREATE TABLE T (A INT)" << int(StatementKind::Other);
        QTest::newRow("execute block") << "EXECUTE BLOCK AS BEGIN END" << int(StatementKind::Execute);
        QTest::newRow("quoted name") << "\"DELETE\"" << int(StatementKind::Unknown);
        QTest::newRow("with select for update")
            << "WITH C AS (SELECT ID FROM T) SELECT * FROM C FOR UPDATE" << int(StatementKind::Select);
        QTest::newRow("with, two expressions")
            << "with a as (select 1 x from rdb$database), b (y) as (select x from a) select * from b"
            << int(StatementKind::Select);
        QTest::newRow("with delete") << "WITH C AS (SELECT ID FROM T) DELETE FROM T WHERE ID IN (SELECT ID FROM C)"
                                     << int(StatementKind::Delete);
    }
    void statementKinds() {
        QFETCH(QString, text);
        QFETCH(int, kind);
        QCOMPARE(int(StatementKindOf(text)), kind);
    }
};

QTEST_GUILESS_MAIN(TestVersionText)
#include "TestVersionText.moc"
