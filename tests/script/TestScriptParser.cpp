#include "firebird/Errors.h"
#include "script/Commands.h"
#include "script/ScriptCommand.h"
#include "script/ScriptParser.h"
#include "script/ScriptRunner.h"
#include "script/StatementText.h"

#include <QtTest>

using namespace abd;

namespace {
/// Cuts a script the way a validation pass does (script commands apply their terminator); one entry per
/// command: "S:" statement, "B:" block statement, "C:" script command, then the statement's text; a statement
/// that the end of the script ended, not a terminator, is marked "U" ("SU:", "BU:").
QStringList Cut(const QString& script) {
    ScriptRunner runner;
    runner.Options.UpdateActualSeparator();
    ScriptParser parser(script.split("\n"), runner.Options);
    QStringList out;
    while (auto c = parser.ExtractCommand(runner)) {
        QString kind = dynamic_cast<BlockStatementCommand*>(c.get())   ? "B"
                       : dynamic_cast<SqlStatementCommand*>(c.get()) ? "S"
                                                                      : "C";
        if (c->Unterminated)
            kind += 'U';
        out << kind + ':' + (c->IsStatement() ? c->Text : QString());
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
        QTest::newRow("no final terminator") << "A1;\nB2" << QStringList{"S:A1", "SU:B2"};
        QTest::newRow("trailing line comment") << "A1;\n-- fim" << QStringList{"S:A1"};
        QTest::newRow("trailing block comment") << "select 1 from rdb$database;\n/* end */"
                                                << QStringList{"S:select 1 from rdb$database"};
        QTest::newRow("comment only between terminators") << "A1;\n/* c */;\nB2;" << QStringList{"S:A1", "S:\r\nB2"};
        QTest::newRow("leading comment kept") << "A1;\n-- x\nB2;" << QStringList{"S:A1", "S:-- x\r\nB2"};
        QTest::newRow("quotes") << "SELECT ';' FROM T;X2;" << QStringList{"S:SELECT ';' FROM T", "S:X2"};
        QTest::newRow("double quotes") << "SELECT \"A;B\" FROM T;" << QStringList{"S:SELECT \"A;B\" FROM T"};
        QTest::newRow("doubled quote") << "SELECT 'it''s;' FROM T;" << QStringList{"S:SELECT 'it''s;' FROM T"};
        QTest::newRow("line comment") << "SELECT 1 -- ;\nFROM T;" << QStringList{"S:SELECT 1 -- ;\r\nFROM T"};
        QTest::newRow("block comment") << "/* ; /* ; */ SELECT 1;" << QStringList{"S:/* ; /* ; */ SELECT 1"};
        QTest::newRow("slash line") << "SELECT 1\n/ whatever\nSELECT 2" << QStringList{"S:SELECT 1\r\n", "SU:whatever\r\nSELECT 2"};
        QTest::newRow("empty commands") << ";;AB;  ;" << QStringList{"S:AB"};
        QTest::newRow("single character") << "A1;X;B2;" << QStringList{"S:A1", "S:B2"};
        QTest::newRow("parentheses") << "INSERT INTO T VALUES (';');" << QStringList{"S:INSERT INTO T VALUES (';')"};
        QTest::newRow("stray paren") << "SELECT 1);\nSELECT 2;" << QStringList{"SU:SELECT 1);\r\nSELECT 2;"};
        QTest::newRow("unclosed quote") << "SELECT 'a;\nSELECT 2;" << QStringList{"SU:SELECT 'a;\r\nSELECT 2;"};
        QTest::newRow("set term") << "SET TERM ^ ;\nA1; B2;\n^\nSET TERM ; ^\nC3;"
                                  << QStringList{"C:", "S:A1; B2;\r\n", "C:", "S:C3"};
        QTest::newRow("set term touching") << "SET TERM ^;\nA1;^" << QStringList{"C:", "S:A1;"};
        QTest::newRow("set terminator") << "SET TERMINATOR ^ ;\nA1;^" << QStringList{"C:", "S:A1;"};
        QTest::newRow("multi-character terminator")
            << "SET TERM !! ;\nEXECUTE BLOCK AS BEGIN A1; END !!\nSET TERM ; !!\nSELECT 1 FROM RDB$DATABASE;"
            << QStringList{"C:", "B:EXECUTE BLOCK AS BEGIN A1; END ", "C:", "S:SELECT 1 FROM RDB$DATABASE"};
        QTest::newRow("ter is no option") << "SET TER ^ ;\nA1;" << QStringList{"S:SET TER ^ ", "S:A1"};
        QTest::newRow("set generator") << "SET GENERATOR G TO 1;" << QStringList{"S:SET GENERATOR G TO 1"};
        QTest::newRow("set term on") << "SET TERM ^ ;\nSET TERM ON ^\nA1;B2;" << QStringList{"C:", "C:", "S:A1", "S:B2"};
        QTest::newRow("set term off") << "SET TERM OFF;\nA1;B2;" << QStringList{"C:", "SU:A1;B2;"};
        QTest::newRow("set term off, its character")
            << QString("SET TERM OFF;\nA1;B2") + QChar(0xFF) + "C3" << QStringList{"C:", "S:A1;B2", "SU:C3"};
        QTest::newRow("non-ASCII terminator") << QString("SET TERM ") + QChar(0xE9) + " ;\nA1;B2" + QChar(0xE9)
                                              << QStringList{"C:", "S:A1;B2"};
        QTest::newRow("letter terminator")
            << "SET TERM GO;\nSELECT 1\ngo\nSELECT 2 GOX\nGO" << QStringList{"C:", "S:SELECT 1\r\n", "S:SELECT 2 GOX\r\n"};
        QTest::newRow("delimiter") << "DELIMITER $$\nA1;$$" << QStringList{"C:", "S:A1;"};
        // A block statement under ";" ends at the ";" after the END that closes its body.
        QTest::newRow("procedure under ;") << "create procedure p as begin end;\nselect 1 from rdb$database;"
                                           << QStringList{"B:create procedure p as begin end",
                                                          "S:select 1 from rdb$database"};
        QTest::newRow("procedure with declarations")
            << "CREATE OR ALTER PROCEDURE P AS DECLARE V INT; BEGIN V = 1; IF (V = 1) THEN BEGIN V = 2; END END;\nA1;"
            << QStringList{"B:CREATE OR ALTER PROCEDURE P AS DECLARE V INT; BEGIN V = 1; IF (V = 1) THEN BEGIN V = 2; "
                           "END END",
                           "S:A1"};
        QTest::newRow("case inside a body") << "create procedure p returns (r int) as begin\n"
                                               "  r = case when 1 = 1 then 1 else 2 end;\n  suspend;\nend;\nA1;"
                                            << QStringList{"B:create procedure p returns (r int) as begin\r\n"
                                                           "  r = case when 1 = 1 then 1 else 2 end;\r\n  suspend;\r\nend",
                                                           "S:A1"};
        QTest::newRow("sub-routine before the body")
            << "execute block returns (o int) as declare procedure s returns (o int) as begin o = 1; end "
               "declare variable x int; begin x = 1; end;\nA1;"
            << QStringList{"B:execute block returns (o int) as declare procedure s returns (o int) as begin o = 1; end "
                           "declare variable x int; begin x = 1; end",
                           "S:A1"};
        QTest::newRow("end in comments and quotes") << "create trigger t for x as begin /* end; */ a = 'end;'; end;\nA1;"
                                                    << QStringList{"B:create trigger t for x as begin /* end; */ a = "
                                                                   "'end;'; end",
                                                                   "S:A1"};
        QTest::newRow("external function")
            << "create function f(n integer) returns integer external name 'm!f' engine udr;\nA1;"
            << QStringList{"B:create function f(n integer) returns integer external name 'm!f' engine udr", "S:A1"};
        QTest::newRow("package header") << "create package pk as begin procedure a; function b returns int; end;\nA1;"
                                        << QStringList{"B:create package pk as begin procedure a; function b returns "
                                                       "int; end",
                                                       "S:A1"};
        QTest::newRow("procedure ended by slash") << "create trigger t for x as begin a1; end\n/\nSELECT 1;"
                                                  << QStringList{"B:create trigger t for x as begin a1; end\r\n", "S:SELECT 1"};
        QTest::newRow("execute block") << "EXECUTE BLOCK AS BEGIN X1; END" << QStringList{"BU:EXECUTE BLOCK AS BEGIN X1; END"};
        QTest::newRow("execute procedure") << "EXECUTE PROCEDURE P;" << QStringList{"S:EXECUTE PROCEDURE P"};
        QTest::newRow("create table") << "CREATE TABLE SETX (A INT);" << QStringList{"S:CREATE TABLE SETX (A INT)"};
        // Only the first word can be a script command's: objects may be called QUIT, COPY, STOP or HELP.
        QTest::newRow("table called quit") << "CREATE TABLE QUIT (ID INTEGER);\nA1;"
                                           << QStringList{"S:CREATE TABLE QUIT (ID INTEGER)", "S:A1"};
        QTest::newRow("table called copy") << "RECREATE TABLE COPY (ID INTEGER);" << QStringList{"S:RECREATE TABLE COPY (ID INTEGER)"};
        QTest::newRow("table called stop") << "CREATE TABLE STOP (ID INTEGER);" << QStringList{"S:CREATE TABLE STOP (ID INTEGER)"};
        QTest::newRow("procedure called help") << "EXECUTE PROCEDURE HELP;\nA1;"
                                               << QStringList{"S:EXECUTE PROCEDURE HELP", "S:A1"};
        QTest::newRow("create database spaced") << "CREATE  DATABASE 'x';\nA1;" << QStringList{"C:", "S:A1"};
        QTest::newRow("alter trigger body cut") << "ALTER TRIGGER X AS BEGIN A1; END;"
                                                << QStringList{"S:ALTER TRIGGER X AS BEGIN A1", "S:END"};
        QTest::newRow("script commands") << "PROMPT ola;\nCONNECT 'x' USER 'y';\nA1;" << QStringList{"C:", "C:", "S:A1"};
        // isql's commands run to their terminator over several lines.
        QTest::newRow("connect over lines") << "CONNECT 'x'\nUSER 'SYSDBA' PASSWORD 'p';\nA1;"
                                            << QStringList{"C:", "S:A1"};
        QTest::newRow("create database over lines")
            << "CREATE DATABASE 'x'\nUSER 'a' PASSWORD 'b'\nPAGE_SIZE 8192;\nA1;" << QStringList{"C:", "S:A1"};
        QTest::newRow("prompt ends at its line") << "PROMPT ola\nA1;" << QStringList{"C:", "S:A1"};
        QTest::newRow("at not at line start") << "SELECT 1;  @x;" << QStringList{"S:SELECT 1", "S:@x"};
        QTest::newRow("at line start") << "SELECT 1;\n@x.sql\nA1;" << QStringList{"S:SELECT 1", "C:", "S:A1"};
        QTest::newRow("word continues keyword") << "SETTINGS_X;" << QStringList{"S:SETTINGS_X"};
    }
    void cuts() {
        QFETCH(QString, script);
        QFETCH(QStringList, commands);
        QCOMPARE(Cut(script), commands);
    }

    void isqlCommandsAreNeverSent_data() {
        QTest::addColumn<QString>("command");
        for (const char* c : {"SET LIST ON;", "SET BAIL ON;", "SET BLOB ALL;", "SET BLOBDISPLAY 1;", "SET PLANONLY OFF;",
                              "SET PLAN;", "SET SQLDA_DISPLAY ON;", "SET EXPLAIN ON;", "SET AUTODDL OFF;",
                              "SET BULK_INSERT INSERT INTO T VALUES (?, ?);", "SET AUTOTERM ON;",
                              "SET DECFLOAT ROUND CEILING;", "SET DECFLOAT TRAPS Division_by_zero, Inexact;",
                              "SET NAMES WIN1252;", "SET STATS ON;", "SET HEADING OFF;", "SET WIDTH NOME 10;",
                              "SET WARNINGS OFF;", "SET COUNT ON;", "SET SQL DIALECT 3;", "SHOW TABLES;",
                              "SHOW TABLE\nT;", "OUTPUT x.txt;", "OUTPUT;", "SHELL ls -l;", "EDIT;", "HELP;"})
            QTest::newRow(c) << QString::fromLatin1(c);
    }
    void isqlCommandsAreNeverSent() {
        QFETCH(QString, command);
        QCOMPARE(Cut(command + "\nA1;"), (QStringList{"C:", "S:A1"}));
    }

    void setStatementsStaySql_data() {
        QTest::addColumn<QString>("statement");
        for (const char* st : {"SET TRANSACTION READ WRITE WAIT", "SET STATISTICS INDEX IX_1", "SET GENERATOR G TO 5",
                               "SET TIME ZONE 'America/Sao_Paulo'", "SET ROLE RDB$ADMIN",
                               "SET BIND OF TIMESTAMP WITH TIME ZONE TO LEGACY"})
            QTest::newRow(st) << QString::fromLatin1(st);
    }
    void setStatementsStaySql() {
        QFETCH(QString, statement);
        QCOMPARE(Cut(statement + ";"), QStringList{"S:" + statement});
    }

    void fileTextKeepsItsLineBreaks() {
        ScriptRunner runner;
        runner.Options.UpdateActualSeparator();
        ScriptParser parser(QStringLiteral("INSERT INTO T VALUES ('a\nb');\nSELECT 1\r\nFROM T;\n"), runner.Options);
        QCOMPARE(parser.ExtractCommand(runner)->Text, QStringLiteral("INSERT INTO T VALUES ('a\nb')"));
        QCOMPARE(parser.ExtractCommand(runner)->Text, QStringLiteral("SELECT 1\r\nFROM T"));
        QVERIFY(!parser.ExtractCommand(runner));
    }

    void statementText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QStringList>("parameters");
        QTest::newRow("nothing to do") << "UPDATE T SET A = 1" << "UPDATE T SET A = 1" << QStringList{};
        QTest::newRow("markers") << "INSERT INTO T VALUES (:ID, :nome)" << "INSERT INTO T VALUES (?, ?)"
                                 << QStringList{"ID", "nome"};
        QTest::newRow("not in quotes or comments") << "SELECT ':A', \":B\" FROM T /* :C */ WHERE X = :D -- :E\n"
                                                   << "SELECT ':A', \":B\" FROM T /* :C */ WHERE X = ? -- :E\n"
                                                   << QStringList{"D"};
        QTest::newRow("body variables stay") << "EXECUTE BLOCK (P INT = :P) AS DECLARE V INT; BEGIN SELECT 1 FROM T INTO :V; END"
                                             << "EXECUTE BLOCK (P INT = ?) AS DECLARE V INT; BEGIN SELECT 1 FROM T INTO :V; END"
                                             << QStringList{"P"};
        QTest::newRow("trigger body of version 2")
            << "ALTER TRIGGER X AS DECLARE VARIABLE C CHAR(1); BEGIN SELECT E FROM T INTO :C; END"
            << "ALTER TRIGGER X AS DECLARE VARIABLE C CHAR(1); BEGIN SELECT E FROM T INTO :C; END" << QStringList{};
        QTest::newRow("time in quotes, slice") << "SELECT TIME '10:00', A[1:2] FROM T" << "SELECT TIME '10:00', A[1:2] FROM T"
                                               << QStringList{};
        QTest::newRow("escapes") << "SELECT {fn UPPER(N)} FROM T WHERE D = {d '2020-01-02'} AND H < {t '10:00:00'} "
                                    "AND S > {ts '2020-01-02 10:00:00'} AND N LIKE 'a\\%' {escape '\\'}"
                                 << "SELECT UPPER(N) FROM T WHERE D = DATE '2020-01-02' AND H < TIME '10:00:00' "
                                    "AND S > TIMESTAMP '2020-01-02 10:00:00' AND N LIKE 'a\\%' ESCAPE '\\'"
                                 << QStringList{};
        QTest::newRow("braces in quotes") << "SELECT '{d ''x''}' FROM T" << "SELECT '{d ''x''}' FROM T" << QStringList{};
    }
    void statementText() {
        QFETCH(QString, text);
        QFETCH(QString, sql);
        QFETCH(QStringList, parameters);
        const StatementText t = TranslateStatement(text);
        QCOMPARE(t.Sql, sql);
        QCOMPARE(t.Parameters, parameters);
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
