#include "firebird/Failure.h"
#include "firebird/ParamBlocks.h"

#include <QtTest>
#include <cstring>

using namespace abd;

Q_DECLARE_METATYPE(abd::Bytes)

namespace {
Bytes B(std::initializer_list<int> v) {
    Bytes b;
    for (int x : v)
        b.push_back(static_cast<std::uint8_t>(x));
    return b;
}
Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}
Bytes Text(const char* s) { return Bytes(s, s + std::strlen(s)); }
Bytes Long(const char* s) { return Concat({B({int(std::strlen(s) & 0xFF), int(std::strlen(s) >> 8)}), Text(s)}); }

ConnectionSettings Stored() {
    return ConnectionSettings({"Database=lortu", "User_Name=SYSDBA", "Password=pomelarix", "CharacterSet=WIN1252",
                               "Protocol=TCPIP", "Port=3050", "DriverID=FB", "Server=127.0.0.1", "PageSize=8192",
                               "CharLenMode=Chars"});
}
} // namespace

class TestParamBlocks : public QObject {
    Q_OBJECT
private slots:
    void attachBlock_data() {
        QTest::addColumn<int>("version");
        QTest::addColumn<Bytes>("expected");
        const Bytes head = Concat({B({1, 28, 6}), Text("SYSDBA"), B({29, 9}), Text("pomelarix"), B({48, 7}),
                                   Text("WIN1252"), B({4, 2, 0x00, 0x20, 63, 1, 3})});
        // A 4.0 server sends its 128-bit and decimal-float values in types every client reads; to a client
        // older than 4.0 its time-zone values too. A 3.0 server ignores the item.
        const char* bind4 = "TIME WITH TIME ZONE TO EXTENDED;TIMESTAMP WITH TIME ZONE TO EXTENDED;"
                            "DECFLOAT TO LEGACY;INT128 TO LEGACY";
        const char* bind3 = "TIME ZONE TO LEGACY;DECFLOAT TO LEGACY;INT128 TO LEGACY";
        // Every attachment has a connect timeout of 30 s.
        const Bytes timeout = B({57, 1, 30});
        QTest::newRow("4.0") << 400000000
                             << Concat({head, B({93, int(std::strlen(bind4))}), Text(bind4), B({77, 0}),
                                        timeout});
        QTest::newRow("3.0.11") << 300119900
                                << Concat({head, B({93, int(std::strlen(bind3))}), Text(bind3), B({77, 0}),
                                           timeout});
        QTest::newRow("2.5") << 205000000 << Concat({head, B({77, 0}), timeout});
        QTest::newRow("2.1") << 201000000 << Concat({head, timeout});
    }
    void attachBlock() {
        QFETCH(int, version);
        QFETCH(Bytes, expected);
        QCOMPARE(BuildAttachBlock(Stored(), 3, {ClientBrand::Firebird, version, false}), expected);
    }

    void attachBlockStripsBlanksAndSkipsAbsentItems() {
        ConnectionSettings s({"User_Name=  sysdba\t", "Password= x ", "CharacterSet=NONE"});
        QCOMPARE(BuildAttachBlock(s, 3, {ClientBrand::Firebird, 205000000, false}),
                 Concat({B({1, 28, 6}), Text("sysdba"), B({29, 1, 'x', 63, 1, 3, 77, 0, 57, 1, 30})}));
        // A page size above 65535 takes four bytes.
        ConnectionSettings big({"PageSize=70000"});
        QCOMPARE(BuildAttachBlock(big, 1, {ClientBrand::Other, 0, false}),
                 B({1, 4, 4, 0x70, 0x11, 0x01, 0x00, 63, 1, 1, 57, 1, 30}));
        // A reading that must not collect garbage says so after the dialect; an empty value says nothing.
        ConnectionSettings reading({"NoGarbageCollect=True"});
        QCOMPARE(BuildAttachBlock(reading, 3, {ClientBrand::Other, 0, false}), B({1, 63, 1, 3, 16, 0, 57, 1, 30}));
        ConnectionSettings run({"NoGarbageCollect="});
        QCOMPARE(BuildAttachBlock(run, 3, {ClientBrand::Other, 0, false}), B({1, 63, 1, 3, 57, 1, 30}));
    }

    void transactionBlock() {
        QCOMPARE(BuildTransactionBlock(Isolation::ReadCommitted, false, false), B({3, 9, 15, 17, 7}));
        QCOMPARE(BuildTransactionBlock(Isolation::Snapshot, true, true), B({3, 8, 2, 6}));
        QCOMPARE(BuildTransactionBlock(Isolation::Serializable, false, false), B({3, 9, 1, 7}));
    }

    void connectionString() {
        ConnectionSettings s = Stored();
        s.SetValue("Database", "LORTU");
        QCOMPARE(BuildConnectionString(s), QStringLiteral("127.0.0.1/3050:LORTU"));
        s.SetValue("Port", "");
        QCOMPARE(BuildConnectionString(s), QStringLiteral("127.0.0.1:LORTU"));
        QCOMPARE(s.Lines().size(), 9); // the empty value removed the entry
    }

    void serviceAttachBlock() {
        const ClientInfo fb25{ClientBrand::Firebird, 205000000, false};
        const Bytes timeout = B({57, 4, 30, 0, 0, 0});
        ServiceSettings s;
        QCOMPARE(BuildServiceAttachBlock(s, fb25), Concat({B({2, 2}), timeout}));
        s.UserName = "SYSDBA";
        s.Password = "pomelarix";
        QCOMPARE(BuildServiceAttachBlock(s, fb25),
                 Concat({B({2, 2, 28, 6}), Text("SYSDBA"), B({29, 9}), Text("pomelarix"), timeout}));
        s.Password = QString(300, QLatin1Char('p'));
        const Bytes b = BuildServiceAttachBlock(s, fb25);
        QCOMPARE(int(b[11]), 255);
        QCOMPARE(b.size(), std::size_t(12 + 255 + timeout.size()));
    }

    void namesWithAccentsGoInUtf8() {
        // From 3.0 on, the attachment declares its names UTF-8 and they go so: the client library converts
        // nothing, so no locale can refuse them and no character is replaced.
        const ClientInfo fb3{ClientBrand::Firebird, 300119900, false};
        ServiceSettings s;
        s.UserName = "JOSÉ";
        s.Password = "ação";
        QCOMPARE(BuildServiceAttachBlock(s, fb3),
                 Concat({B({2, 2, 28, 5}), Text("JOS\xC3\x89"), B({29, 6}), Text("a\xC3\xA7\xC3\xA3o"),
                         B({118, 0, 57, 4, 30, 0, 0, 0})}));
        ConnectionSettings c({"User_Name=josé", "Password=ação"});
        QCOMPARE(
            BuildAttachBlock(c, 3, fb3),
            Concat({B({1, 28, 5}), Text("jos\xC3\xA9"), B({29, 6}), Text("a\xC3\xA7\xC3\xA3o"),
                    B({63, 1, 3, 93}), B({55}),
                    Text("TIME ZONE TO LEGACY;DECFLOAT TO LEGACY;INT128 TO LEGACY"), B({77, 0, 57, 1, 30})}));
        BackupRequest r;
        r.BackupFiles = {"/b/Diário €/L.fbk"};
        QCOMPARE(BuildBackupRequest("/d/São Paulo/l.fdb", r, fb3),
                 Concat({B({1, 106}), Long("/d/S\xC3\xA3o Paulo/l.fdb"), B({5}),
                         Long("/b/Di\xC3\xA1rio \xE2\x82\xAC/L.fbk")}));
        RestoreRequest rr;
        rr.BackupFiles = {"/b/Diário/L.fbk"};
        QCOMPARE(BuildRestoreRequest("/d/São.fdb", rr, fb3),
                 Concat({B({2, 5}), Long("/b/Di\xC3\xA1rio/L.fbk"), B({106}), Long("/d/S\xC3\xA3o.fdb"),
                         B({108, 0, 0x20, 0, 0})}));
    }

    void serviceName_data() {
        QTest::addColumn<int>("protocol");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("expected");
        QTest::newRow("tcp") << int(ipTCPIP) << "127.0.0.1" << 0 << "127.0.0.1:service_mgr";
        QTest::newRow("tcp port") << int(ipTCPIP) << "srv" << 3050 << "srv/3050:service_mgr";
        QTest::newRow("tcp no host") << int(ipTCPIP) << "" << 0 << ":service_mgr";
        QTest::newRow("netbeui") << int(ipNetBEUI) << "srv" << 3050 << "\\\\srv@3050\\service_mgr";
        QTest::newRow("local fb3") << int(ipLocal) << "" << 0 << "xnet://service_mgr";
    }
    void serviceName() {
        QFETCH(int, protocol);
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(QString, expected);
        ServiceSettings s;
        s.SetHost(host);
        s.Protocol = ServiceProtocol(protocol);
        s.Port = port;
        QCOMPARE(BuildServiceName(s, {ClientBrand::Firebird, 300119900, false}), expected);
        if (protocol == ipLocal)
            QCOMPARE(BuildServiceName(s, {ClientBrand::Firebird, 205000000, false}), QStringLiteral("service_mgr"));
    }

    void hostMovesLocalProtocolToTcp() {
        ServiceSettings s;
        s.SetHost("");
        QCOMPARE(s.Protocol, ipLocal);
        s.SetHost("srv");
        QCOMPARE(s.Protocol, ipTCPIP);
    }

    void backupRequests() {
        const ClientInfo fb3{ClientBrand::Firebird, 300119900, false};
        BackupRequest r;
        r.BackupFiles = {"/b/LORTU.fbk"};
        r.Verbose = true;
        const Bytes plain = Concat({B({1, 106}), Long("LORTU"), B({107, 5}), Long("/b/LORTU.fbk")});
        QCOMPARE(BuildBackupRequest("LORTU", r, fb3), plain);
        r.Options = boNoGarbageCollect;
        QCOMPARE(BuildBackupRequest("LORTU", r, fb3), Concat({plain, B({108, 8, 0, 0, 0})}));

        // Lengths after "=", blank entries skipped, leading blanks kept, no verbose item.
        BackupRequest parts;
        parts.BackupFiles = {"a.fbk=2048", "   ", " b.fbk"};
        QCOMPARE(BuildBackupRequest("", parts, fb3),
                 Concat({B({1, 106, 0, 0, 5}), Long("a.fbk"), B({7, 0, 8, 0, 0, 5}), Long(" b.fbk")}));

        // No triggers and zip only reach a major version 3 client.
        BackupRequest nt;
        nt.Options = boNoTriggers | boZip;
        QCOMPARE(BuildBackupRequest("", nt, fb3), B({1, 106, 0, 0, 108, 0x00, 0x80, 0x01, 0x00}));
        QCOMPARE(BuildBackupRequest("", nt, {ClientBrand::Firebird, 205000000, false}),
                 B({1, 106, 0, 0, 108, 0, 0, 0, 0}));

        BackupRequest empty;
        QCOMPARE(BuildBackupRequest("db", empty, fb3), Concat({B({1, 106}), Long("db")}));
    }

    void backupLengthMustBeInteger() {
        BackupRequest r;
        r.BackupFiles = {"a.fbk=12k"};
        try {
            BuildBackupRequest("db", r, {});
            QFAIL("no error");
        } catch (const ConversionError& e) {
            QCOMPARE(e.Message(), QStringLiteral("'12k' não é um valor inteiro válido"));
        }
    }

    void restoreRequests() {
        const ClientInfo fb25{ClientBrand::Firebird, 205000000, false};
        RestoreRequest r;
        r.BackupFiles = {"/b/x.fbk=2048"};
        r.Verbose = true;
        r.Options = roReplace;
        QCOMPARE(BuildRestoreRequest("LORTU", r, fb25), Concat({B({2, 5}), Long("/b/x.fbk=2048"), B({106}),
                                                                Long("LORTU"), B({107, 108, 0, 16, 0, 0})}));
        RestoreRequest plain;
        QCOMPARE(BuildRestoreRequest("d", plain, fb25),
                 Concat({B({2, 106}), Long("d"), B({108, 0, 0x20, 0, 0})}));
        RestoreRequest meta;
        meta.Options = roReplace | roMetaDataOnly | roFixFSSData;
        meta.PageSize = 8192;
        meta.PageBuffers = 100;
        QCOMPARE(BuildRestoreRequest("d", meta, fb25),
                 Concat({B({2, 106}), Long("d"), B({108, 0x04, 0x10, 0, 0, 13, 0, 0}),
                         B({10, 0, 0x20, 0, 0, 9, 100, 0, 0, 0})}));
    }

    void blockTexts() {
        // Characters of the code page become their byte.
        BlockWriter w;
        w.ShortString(QStringLiteral("ção€?"));
        QCOMPARE(w.Data(), B({5, 0xE7, 0xE3, 'o', 0x80, '?'}));
        // A character that the block's encoding lacks is refused, never replaced.
        struct Case {
            TextEncoding encoding;
            QString text;
        };
        const QString lone(QChar(0xD800));
        for (const Case& c :
             {Case{TextEncoding::CodePage, "✓"}, Case{TextEncoding::CodePage, QString("a") + QChar(0) + "b"},
              Case{TextEncoding::Utf8, "a" + lone}, Case{TextEncoding::Utf8, QString("a") + QChar(0)}}) {
            BlockWriter refusing(c.encoding);
            QVERIFY_THROWS_EXCEPTION(UncarriedText, refusing.LongString(c.text));
        }
        // UTF-8 carries them all; a text cut to the count's limit is cut between characters.
        BlockWriter utf8(TextEncoding::Utf8);
        utf8.ShortString(QStringLiteral("✓😀"));
        QCOMPARE(utf8.Data(), Concat({B({7}), Text("\xE2\x9C\x93\xF0\x9F\x98\x80")}));
        BlockWriter cut(TextEncoding::Utf8);
        cut.ShortString(QString(200, QLatin1Char('a')) + QString(50, QChar(0xE9)));
        QCOMPARE(int(cut.Data()[0]), 200 + 2 * 27);
    }

    void serversAsAdministratorsWriteThem_data() {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("service");
        // The stored port is 3050; a port that the server text carries wins, in both names.
        QTest::newRow("plain") << "127.0.0.1"
                               << "127.0.0.1/3050:LORTU"
                               << "127.0.0.1:service_mgr";
        QTest::newRow("own port") << "127.0.0.1/3051"
                                  << "127.0.0.1/3051:LORTU"
                                  << "127.0.0.1/3051:service_mgr";
        QTest::newRow("blanks") << "  srv\t"
                                << "srv/3050:LORTU"
                                << "srv:service_mgr";
        QTest::newRow("ipv6") << "::1"
                              << "[::1]/3050:LORTU"
                              << "[::1]:service_mgr";
        QTest::newRow("ipv6 port") << "2001:db8::10/3051"
                                   << "[2001:db8::10]/3051:LORTU"
                                   << "[2001:db8::10]/3051:service_mgr";
        QTest::newRow("bracketed") << "[::1]"
                                   << "[::1]/3050:LORTU"
                                   << "[::1]:service_mgr";
        QTest::newRow("bracketed port") << "[::1]/3051"
                                        << "[::1]/3051:LORTU"
                                        << "[::1]/3051:service_mgr";
        QTest::newRow("service port") << "srv/gds_db"
                                      << "srv/gds_db:LORTU"
                                      << "srv/gds_db:service_mgr";
    }
    void serversAsAdministratorsWriteThem() {
        QFETCH(QString, server);
        QFETCH(QString, database);
        QFETCH(QString, service);
        ConnectionSettings c = Stored();
        c.SetValue("Server", server);
        c.SetValue("Database", "LORTU");
        QCOMPARE(BuildConnectionString(c), database);
        ServiceSettings s;
        s.SetHost(server);
        s.Protocol = ipTCPIP;
        QCOMPARE(BuildServiceName(s, {ClientBrand::Firebird, 300119900, false}), service);
        QVERIFY(ParseServer("  \t ").Host.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestParamBlocks)
#include "TestParamBlocks.moc"
