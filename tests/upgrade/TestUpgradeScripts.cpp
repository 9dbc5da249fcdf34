#include "firebird/DatabaseConnection.h"
#include "script/Commands.h"
#include "script/ScriptParser.h"
#include "script/ScriptRunner.h"
#include "upgrade/UpgradeScripts.h"

#include <QtTest>

using namespace abd;

class TestUpgradeScripts : public QObject {
    Q_OBJECT
private slots:
    void wordForWord() {
        QCOMPARE(UpgradeScript(2).size(), 49);
        QCOMPARE(UpgradeScript(3).size(), 6);
        QCOMPARE(UpgradeScript(4).size(), 12);
        QCOMPARE(UpgradeScript(5).size(), 100);
        QCOMPARE(UpgradeScript(2)[22], QStringLiteral("      SELECT CREDITO_DEBITO "));
        QCOMPARE(UpgradeScript(4)[2], QStringLiteral("UPDATE HISTORICO "));
        const QStringList v5 = UpgradeScript(5);
        QCOMPARE(v5[8], QStringLiteral("ALTER TABLE CONFIGURAR ALTER COLUMN ID POSITION 1;"));
        QCOMPARE(v5[10], QStringLiteral("ALTER TABLE CONFIGURAR ALTER COLUMN CODIGO POSITION 2;"));
        QCOMPARE(v5[52], QStringLiteral("ALTER TABLE CONFIGURAR ALTER COLUMN PORTA POSITION 23;"));
        QCOMPARE(v5[94], QStringLiteral("ALTER TABLE CONFIGURAR ALTER COLUMN VERSAO_BANCO_DADOS POSITION 44;"));
        QVERIFY(v5[95].isEmpty() && v5[96].isEmpty());
        QCOMPARE(v5.mid(97), (QStringList{"UPDATE CONFIGURAR", "SET VERSAO_BANCO_DADOS = 5", "WHERE ID = 1;"}));
        QCOMPARE(ConfigurarColumnOrder().size(), 44);
    }

    void options() {
        DatabaseConnection c;
        for (int v = 2; v <= 5; ++v) {
            ScriptRunner r("s", &c);
            ConfigureUpgradeScript(r, v);
            QCOMPARE(r.Options.BreakOnError, v == 5);
            QCOMPARE(r.SQLScripts.size(), 1);
            QVERIFY(r.SQLScripts.front().Name.isEmpty());
            QCOMPARE(r.Options.Echo, ecSQL);
        }
        const ConnectionSettings s = StoredConnectionSettings();
        QCOMPARE(s.Lines(), (QStringList{"Database=lortu", "User_Name=SYSDBA", "Password=pomelarix", "CharacterSet=WIN1252",
                                         "Protocol=TCPIP", "Port=3050", "DriverID=FB", "Server=127.0.0.1",
                                         "PageSize=8192", "CharLenMode=Chars"}));
    }

    void version2IsCutIntoFourCommands() {
        ScriptRunner runner;
        runner.Options.UpdateActualSeparator();
        ScriptParser parser(UpgradeScript(2), runner.Options);
        QStringList kinds, texts;
        while (auto c = parser.ExtractCommand(runner)) {
            kinds << (c->IsStatement() ? "S" : "C");
            texts << c->Text;
            c->Validate();
        }
        QCOMPARE(kinds, (QStringList{"C", "S", "C", "S"}));
        QCOMPARE(texts[1], QStringLiteral("\r\n") + UpgradeScript(2).mid(2, 40).join("\r\n") + QStringLiteral("\r\n"));
        QCOMPARE(texts[3], QStringLiteral("\r\nUPDATE CONFIGURAR\r\nSET VERSAO_BANCO_DADOS = 2\r\nWHERE ID = 1"));
    }

    void otherScriptsCutPerStatement_data() {
        QTest::addColumn<int>("version");
        QTest::addColumn<int>("statements");
        QTest::newRow("3") << 3 << 3;
        QTest::newRow("4") << 4 << 5;
        QTest::newRow("5") << 5 << 49;
    }
    void otherScriptsCutPerStatement() {
        QFETCH(int, version);
        QFETCH(int, statements);
        ScriptRunner runner;
        runner.Options.UpdateActualSeparator();
        ScriptParser parser(UpgradeScript(version), runner.Options);
        int n = 0;
        while (auto c = parser.ExtractCommand(runner)) {
            QVERIFY(c->IsStatement());
            QVERIFY(!c->Text.contains(';'));
            ++n;
        }
        QCOMPARE(n, statements);
    }
};

QTEST_GUILESS_MAIN(TestUpgradeScripts)
#include "TestUpgradeScripts.moc"
