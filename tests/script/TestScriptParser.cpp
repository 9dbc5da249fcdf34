#include "firebird/Errors.h"
#include "script/Commands.h"
#include "script/ScriptCommand.h"
#include "script/ScriptParser.h"
#include "script/ScriptRunner.h"

#include <QtTest>

using namespace abd;

namespace {
/// Cuts a script the way a validation pass does (script commands apply their terminator); one entry per
/// command: "S:" statement, "B:" block statement, "C:" script command, then the statement's text.
QStringList Cut(const QString& script) {
    ScriptRunner runner;
    runner.Options.UpdateActualSeparator();
    ScriptParser parser(script.split("\n"), runner.Options);
    QStringList out;
    while (auto c = parser.ExtractCommand(runner)) {
        const char* kind = dynamic_cast<BlockStatementCommand*>(c.get())   ? "B:"
                           : dynamic_cast<SqlStatementCommand*>(c.get()) ? "S:"
                                                                          : "C:";
        out << QString::fromLatin1(kind) + (c->IsStatement() ? c->Text : QString());
        c->Validate();
    }
    return out;
}
} // namespace

class TestScriptParser : public QObject {
    Q_OBJECT
private slots:
    void cuts_data() {
        // Lines are joined with CR LF; "\n" in these scripts separates lines.
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("commands");
        QTest::newRow("plain") << "A1;\nB2;" << QStringList{"S:A1", "S:B2"};
        QTest::newRow("blank line prefix") << "A1;\n\nB2;" << QStringList{"S:A1", "S:\r\nB2"};
        QTest::newRow("no final terminator") << "A1;\nB2" << QStringList{"S:A1", "S:B2"};
        QTest::newRow("trailing comment") << "A1;\n-- fim" << QStringList{"S:A1", "S:-- fim"};
        QTest::newRow("quotes") << "SELECT ';' FROM T;X2;" << QStringList{"S:SELECT ';' FROM T", "S:X2"};
        QTest::newRow("double quotes") << "SELECT \"A;B\" FROM T;" << QStringList{"S:SELECT \"A;B\" FROM T"};
        QTest::newRow("doubled quote") << "SELECT 'it''s;' FROM T;" << QStringList{"S:SELECT 'it''s;' FROM T"};
        QTest::newRow("line comment") << "SELECT 1 -- ;\nFROM T;" << QStringList{"S:SELECT 1 -- ;\r\nFROM T"};
        QTest::newRow("block comment") << "/* ; /* ; */ SELECT 1;" << QStringList{"S:/* ; /* ; */ SELECT 1"};
        QTest::newRow("slash line") << "SELECT 1\n/ whatever\nSELECT 2" << QStringList{"S:SELECT 1\r\n", "S:whatever\r\nSELECT 2"};
        QTest::newRow("empty commands") << ";;AB;  ;" << QStringList{"S:AB"};
        QTest::newRow("single character") << "A1;X;B2;" << QStringList{"S:A1", "S:B2"};
        QTest::newRow("parentheses") << "INSERT INTO T VALUES (';');" << QStringList{"S:INSERT INTO T VALUES (';')"};
        QTest::newRow("stray paren") << "SELECT 1);\nSELECT 2;" << QStringList{"S:SELECT 1);\r\nSELECT 2;"};
        QTest::newRow("unclosed quote") << "SELECT 'a;\nSELECT 2;" << QStringList{"S:SELECT 'a;\r\nSELECT 2;"};
        QTest::newRow("set term") << "SET TERM ^ ;\nA1; B2;\n^\nSET TERM ; ^\nC3;"
                                  << QStringList{"C:", "S:A1; B2;\r\n", "C:", "S:C3"};
        QTest::newRow("set term touching") << "SET TERM ^;\nA1;^" << QStringList{"C:", "S:A1;"};
        QTest::newRow("set terminator") << "SET TERMINATOR ^ ;\nA1;^" << QStringList{"C:", "S:A1;"};
        QTest::newRow("ter is no option") << "SET TER ^ ;\nA1;" << QStringList{"S:SET TER ^ ", "S:A1"};
        QTest::newRow("set generator") << "SET GENERATOR G TO 1;" << QStringList{"S:SET GENERATOR G TO 1"};
        QTest::newRow("set term on") << "SET TERM ^ ;\nSET TERM ON ^\nA1;B2;" << QStringList{"C:", "C:", "S:A1", "S:B2"};
        QTest::newRow("set term off") << "SET TERM OFF;\nA1;B2;" << QStringList{"C:", "S:A1;B2;"};
        QTest::newRow("letter terminator")
            << "SET TERM GO;\nSELECT 1\ngo\nSELECT 2 GOX\nGO" << QStringList{"C:", "S:SELECT 1\r\n", "S:SELECT 2 GOX\r\n"};
        QTest::newRow("delimiter") << "DELIMITER $$\nA1;$$" << QStringList{"C:", "S:A1;"};
        QTest::newRow("create procedure") << "CREATE OR ALTER PROCEDURE P AS BEGIN X1; END;\nSELECT 1;"
                                          << QStringList{"B:CREATE OR ALTER PROCEDURE P AS BEGIN X1; END;\r\nSELECT 1;"};
        QTest::newRow("procedure ended by slash") << "create trigger t for x as begin a1; end\n/\nSELECT 1;"
                                                  << QStringList{"B:create trigger t for x as begin a1; end\r\n", "S:SELECT 1"};
        QTest::newRow("execute block") << "EXECUTE BLOCK AS BEGIN X1; END" << QStringList{"B:EXECUTE BLOCK AS BEGIN X1; END"};
        QTest::newRow("execute procedure") << "EXECUTE PROCEDURE P;" << QStringList{"S:EXECUTE PROCEDURE P"};
        QTest::newRow("create table") << "CREATE TABLE SETX (A INT);" << QStringList{"S:CREATE TABLE SETX (A INT)"};
        QTest::newRow("alter trigger body cut") << "ALTER TRIGGER X AS BEGIN A1; END;"
                                                << QStringList{"S:ALTER TRIGGER X AS BEGIN A1", "S:END"};
        QTest::newRow("script commands") << "PROMPT ola;\nCONNECT 'x' USER 'y';\nA1;" << QStringList{"C:", "C:", "S:A1"};
        QTest::newRow("at not at line start") << "SELECT 1;  @x;" << QStringList{"S:SELECT 1", "S:@x"};
        QTest::newRow("at line start") << "SELECT 1;\n@x.sql\nA1;" << QStringList{"S:SELECT 1", "C:", "S:A1"};
        QTest::newRow("word continues keyword") << "SETTINGS_X;" << QStringList{"S:SETTINGS_X"};
    }
    void cuts() {
        QFETCH(QString, script);
        QFETCH(QStringList, commands);
        QCOMPARE(Cut(script), commands);
    }

    void malformedSetFailsWith803AndParsingGoesOn() {
        ScriptRunner runner;
        runner.Options.UpdateActualSeparator();
        ScriptParser parser(QStringList{"SET TIMING MAYBE;", "A1;"}, runner.Options);
        try {
            parser.ExtractCommand(runner);
            QFAIL("no error");
        } catch (const AccessError& e) {
            QCOMPARE(e.Message(), QStringLiteral("[Dravix][Comp][Script]-803. Invalid SET command argument"));
        }
        std::unique_ptr<ScriptCommand> next;
        QStringList rest;
        while ((next = parser.ExtractCommand(runner)))
            rest << next->Text;
        QCOMPARE(rest, QStringList{"\r\nA1"});
    }

    void positionsAndEcho() {
        ScriptRunner runner;
        runner.Options.UpdateActualSeparator();
        ScriptParser parser(QStringList{"A1;", "", "  UPDATE X", "SET Y = 1;", "Z9"}, runner.Options);
        parser.ExtractCommand(runner);
        auto c = parser.ExtractCommand(runner);
        QCOMPARE(c->Line, 2);
        QCOMPARE(c->Column, 2);
        QCOMPARE(parser.EchoText().toString(), QStringLiteral("\r\n  UPDATE X\r\nSET Y = 1;\r"));
        c = parser.ExtractCommand(runner);
        QCOMPARE(parser.EchoText().toString(), QStringLiteral("Z9"));
        QVERIFY(!parser.ExtractCommand(runner));
    }

    void keywordLookup_data() {
        QTest::addColumn<QString>("word");
        QTest::addColumn<int>("result");
        QTest::newRow("partial") << "DE" << int(ucPartial);
        QTest::newRow("short") << "DEFI" << int(ucShort);
        QTest::newRow("exact") << "DEFINE" << int(ucExact);
        QTest::newRow("none") << "DEFINES" << int(ucNone);
        QTest::newRow("two words partial") << "CREATE" << int(ucPartial);
        QTest::newRow("two words exact") << "CREATE DATABASE" << int(ucExact);
        QTest::newRow("symbol") << "@" << int(ucExact);
        QTest::newRow("input short") << "INP" << int(ucShort);
        QTest::newRow("select") << "SELECT" << int(ucNone);
    }
    void keywordLookup() {
        QFETCH(QString, word);
        QFETCH(int, result);
        QCOMPARE(int(ScriptCommandRegistry::Instance().LookupCommand(word)), result);
    }
};

QTEST_GUILESS_MAIN(TestScriptParser)
#include "TestScriptParser.moc"
