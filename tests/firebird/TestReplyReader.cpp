#include "firebird/ReplyReader.h"

#include <QtTest>
#include <vector>

using namespace abd;

Q_DECLARE_METATYPE(std::vector<std::uint8_t>)

namespace {
std::vector<std::uint8_t> B(std::initializer_list<int> v) {
    std::vector<std::uint8_t> b;
    for (int x : v)
        b.push_back(static_cast<std::uint8_t>(x));
    return b;
}
} // namespace

class TestReplyReader : public QObject {
    Q_OBJECT
private slots:
    void usageWithoutAttachments() {
        const auto r = B({0x32, 0x05, 0, 0, 0, 0, 0x06, 0, 0, 0, 0, 0x7f, 0x01});
        const ServerUsage u = ParseUsageReply(r.data(), r.size());
        QCOMPARE(u.Attachments, 0);
        QCOMPARE(u.Databases, 0);
        QVERIFY(u.DBNames.isEmpty());
    }

    void usageWithOneAttachment() {
        auto r = B({0x32, 0x05, 1, 0, 0, 0, 0x06, 1, 0, 0, 0, 0x6a, 5, 0});
        for (char c : std::string("/x.fd"))
            r.push_back(static_cast<std::uint8_t>(c));
        for (int x : {0x7f, 0x01})
            r.push_back(static_cast<std::uint8_t>(x));
        r.resize(32000, 0); // the rest of the receive buffer
        const ServerUsage u = ParseUsageReply(r.data(), r.size());
        QCOMPARE(u.Attachments, 1);
        QCOMPARE(u.Databases, 1);
        QCOMPARE(u.DBNames, QStringList{"/x.fd"});
    }

    void usageOddShapes() {
        // No attachment item: the count stays 0, the tag is consumed anyway.
        auto r = B({0x32, 0x06, 2, 0, 0, 0, 0x7f, 0x01});
        ServerUsage u = ParseUsageReply(r.data(), r.size());
        QCOMPARE(u.Attachments, 0);
        // More names than databases: only the announced slots are kept.
        r = B({0x32, 0x05, 2, 0, 0, 0, 0x06, 1, 0, 0, 0, 0x6a, 1, 0, 'a', 0x6a, 1, 0, 'b', 0x7f, 0x01});
        u = ParseUsageReply(r.data(), r.size());
        QCOMPARE(u.DBNames, QStringList{"a"});
        // A name whose length runs past the buffer is clipped at its end.
        r = B({0x32, 0x05, 1, 0, 0, 0, 0x06, 1, 0, 0, 0, 0x6a, 0xff, 0xff, 'a', 'b'});
        u = ParseUsageReply(r.data(), r.size());
        QCOMPARE(u.DBNames, QStringList{"ab"});
        // Truncated inside an integer, and a huge database count in a tiny buffer.
        r = B({0x32, 0x05, 7, 0});
        u = ParseUsageReply(r.data(), r.size());
        QCOMPARE(u.Attachments, 7);
        r = B({0x32, 0x05, 0, 0, 0, 0, 0x06, 0xff, 0xff, 0xff, 0x7f});
        u = ParseUsageReply(r.data(), r.size());
        QCOMPARE(u.Databases, 0x7fffffff);
        QVERIFY(u.DBNames.size() <= 4);
        u = ParseUsageReply(nullptr, 0);
        QCOMPARE(u.Attachments, 0);
    }

    void lineReplies_data() {
        QTest::addColumn<std::vector<std::uint8_t>>("reply");
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("finished");
        QTest::newRow("line") << B({0x3e, 3, 0, 'a', 'b', ' ', 0x01}) << "ab " << false;
        QTest::newRow("end") << B({0x3e, 0, 0, 0x01}) << "" << true;
        QTest::newRow("running") << B({0x43, 0x01}) << "" << false;
        QTest::newRow("truncated") << B({0x02}) << "" << true;
        QTest::newRow("end item") << B({0x01}) << "" << true;
        QTest::newRow("length past end") << B({0x3e, 10, 0, 'x'}) << "x" << false;
        QTest::newRow("half length") << B({0x3e, 10}) << "" << true;
        QTest::newRow("empty") << B({}) << "" << true;
        QTest::newRow("code page") << B({0x3e, 2, 0, 0xE7, 0x80}) << QStringLiteral("ç€") << false;
        // The server writes file names in UTF-8.
        // The query's time-out passed with no line: the job goes on.
        QTest::newRow("time-out") << B({0x3e, 0, 0, 0x40, 0x01}) << "" << false;
        // Bytes that are no UTF-8 are the code page's, all of them.
        QTest::newRow("not utf-8") << B({0x3e, 6, 0, 'D', 'i', 0xC3, 0xA1, 0xE2, 0x82})
                                   << QStringLiteral("Di\u00C3\u00A1\u00E2\u201A") << false;
        QTest::newRow("utf-8") << B({0x3e, 6, 0, 'D', 'i', 0xC3, 0xA1, 'r', 'i'}) << QStringLiteral("Diári")
                               << false;
    }
    void lineReplies() {
        QFETCH(std::vector<std::uint8_t>, reply);
        QFETCH(QString, line);
        QFETCH(bool, finished);
        const LineReply r = ParseLineReply(reply.data(), reply.size());
        QCOMPARE(r.Line, line);
        QCOMPARE(r.Finished, finished);
    }
};

QTEST_GUILESS_MAIN(TestReplyReader)
#include "TestReplyReader.moc"
