#include "firebird/Errors.h"

#include <QtTest>

using namespace abd;

Q_DECLARE_METATYPE(abd::StatusWords)

namespace {
constexpr std::intptr_t S = 0x1234; // stands for a string argument's pointer
}

class TestErrors : public QObject {
    Q_OBJECT
private slots:
    void classification_data() {
        QTest::addColumn<StatusWords>("words");
        QTest::addColumn<int>("kind");
        QTest::newRow("login") << StatusWords{1, 335544472} << int(ekUserPwdInvalid);
        QTest::newRow("network") << StatusWords{1, 335544721, 2, S, 1, 335544722} << int(ekServerGone);
        QTest::newRow("conn lost") << StatusWords{1, 335544648} << int(ekServerGone);
        QTest::newRow("unknown alias") << StatusWords{1, 335544344, 2, S, 2, S, 1, 335544734, 5, 2} << int(ekOther);
        QTest::newRow("table unknown")
            << StatusWords{1, 335544569, 1, 335544436, 4, -204, 1, 335544580, 1, 335544382, 2, S, 1, 336397208, 4, 1, 4, 15}
            << int(ekObjNotExists);
        QTest::newRow("trigger not found")
            << StatusWords{1, 335544351, 1, 336397271, 2, S, 1, 336068755, 2, S} << int(ekObjNotExists);
        QTest::newRow("metadata other") << StatusWords{1, 335544351, 1, 336397271, 2, S} << int(ekOther);
        QTest::newRow("invalid params") << StatusWords{1, 335544569, 1, 335544512, 4, 1} << int(ekInvalidParams);
        QTest::newRow("unique") << StatusWords{1, 335544665, 2, S} << int(ekUKViolated);
        QTest::newRow("deadlock") << StatusWords{1, 335544336} << int(ekRecordLocked);
        QTest::newRow("cancelled") << StatusWords{1, 335544794} << int(ekCmdAborted);
        QTest::newRow("stream eof") << StatusWords{1, 335544374} << int(ekNoDataFound);
    }
    void classification() {
        QFETCH(StatusWords, words);
        QFETCH(int, kind);
        QCOMPARE(int(ClassifyStatus(words).Kind), kind);
    }

    void userExceptionNumber() {
        const Classification c = ClassifyStatus({1, 335544517, 4, 17, 1, 335544382, 2, S});
        QCOMPARE(c.Kind, ekOther);
        QCOMPARE(c.ExceptionCode, 17);
    }

    void objectNames() {
        ErrorKind kind = ekObjNotExists;
        const StatusWords table{1, 335544569, 1, 335544436, 4, -204, 1, 335544580, 1, 335544382, 2, S, 1, 336397208, 4, 1, 4, 15};
        QCOMPARE(ExtractObjectName(table,
                                   {{0, "Dynamic SQL Error"}, {2, "SQL error code = -204"}, {6, "Table unknown"},
                                    {8, "T"}, {12, "At line 1, column 15"}},
                                   kind, true),
                 QStringLiteral("T"));
        const StatusWords trigger{1, 335544351, 1, 336397271, 2, S, 1, 336068755, 2, S};
        const std::vector<InterpretedLine> lines{
            {0, "unsuccessful metadata update"}, {2, "ALTER TRIGGER X failed"}, {6, "Trigger X not found"}};
        QCOMPARE(ExtractObjectName(trigger, lines, kind, true), QStringLiteral("X"));
        QCOMPARE(ExtractObjectName(trigger, lines, kind, false), QString());
        // An isc_random line ending in "already exists" names nothing and is no missing object.
        const StatusWords exists{1, 335544351, 1, 335544382, 2, S};
        QCOMPARE(ExtractObjectName(exists, {{0, "unsuccessful"}, {2, "Domain X already exists"}}, kind, true), QString());
        QCOMPARE(kind, ekOther);
        ErrorKind uk = ekUKViolated;
        QCOMPARE(ExtractObjectName({1, 335544665, 2, S}, {{0, "violation of PRIMARY or UNIQUE KEY constraint \"PK_T\" on table \"T\""}},
                                   uk, true),
                 QStringLiteral("PK_T"));
    }

    void warningVector() {
        QVERIFY(IsWarningVector({1, 0, 18, 335544808}));
        QVERIFY(!IsWarningVector({1, 335544472}));
    }

    void messages() {
        DatabaseErrorItem item;
        item.ErrorCode = 335544472;
        item.Kind = ekUserPwdInvalid;
        item.Message = "Your user name and password are not defined.";
        const DatabaseError e({item});
        QCOMPARE(e.Message(), QStringLiteral("[Dravix][Phys][FB]Your user name and password are not defined."));
        QCOMPARE(e.Code(), 1400);
        QCOMPARE(e.Kind(), ekUserPwdInvalid);
        QVERIFY(!e.Items().front().Message.contains("[Dravix]"));

        const AccessError a = AccessError::Make({"Comp", "Script"}, 804, "Invalid command [%s] syntax", {"SET"});
        QCOMPARE(a.Message(), QStringLiteral("[Dravix][Comp][Script]-804. Invalid command [SET] syntax"));
        // Placeholders that cannot be filled leave the text as it is.
        const AccessError b = AccessError::Make({"Phys", "FB"}, 315, "Cannot get [%s]", {});
        QCOMPARE(b.Message(), QStringLiteral("[Dravix][Phys][FB]-315. Cannot get [%s]"));
    }

    void fullStopRule_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << "Erro Backup" << "Erro Backup.";
        QTest::newRow("digit") << "code 5" << "code 5.";
        QTest::newRow("paren") << "tipo (Integer)" << "tipo (Integer)";
        QTest::newRow("stop") << "Feito." << "Feito.";
        QTest::newRow("blank") << "x " << "x ";
        QTest::newRow("line break") << "x\r\n" << "x\r\n";
        QTest::newRow("empty") << "" << "";
    }
    void fullStopRule() {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(WithFullStop(text), shown);
    }
};

QTEST_GUILESS_MAIN(TestErrors)
#include "TestErrors.moc"
