#include "firebird/ClientLibrary.h"
#include "firebird/DatabaseConnection.h"
#include "firebird/Errors.h"
#include "firebird/ServiceClient.h"
#include "tests/support/TestServer.h"

#include <QtTest>
#include <csignal>

using namespace abd;

namespace {
volatile std::sig_atomic_t g_received = 0;
void Received(int signal) { g_received = signal; }

/// The handler the process has for `signal` now.
void (*HandlerOf(int signal))(int) {
    struct sigaction now {};
    ::sigaction(signal, nullptr, &now);
    return now.sa_handler;
}
} // namespace

// Runs in a process of its own: the library must not be loaded before the first case.
class TestClientLibrary : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        // The process's own handlers, in place before the library is loaded, as the program installs them.
        struct sigaction action {};
        action.sa_handler = Received;
        sigemptyset(&action.sa_mask);
        for (int signal : {SIGINT, SIGTERM, SIGHUP})
            ::sigaction(signal, &action, nullptr);
    }

    void missingLibraryThenLoad() {
        QVERIFY(!ClientLibrary::Loaded());
        const QStringList real = ClientLibrary::Candidates();
        ClientLibrary::SetCandidates({"/nonexistent/libfbclient.so.2", "/nonexistent/libfbclient.so"});
        test::TempDatabase db;
        DatabaseConnection c("x", test::SettingsFor(db.Path()));
        try {
            c.Open();
            QFAIL("no error");
        } catch (const DatabaseError&) {
            QFAIL("a database error instead of the layer's own");
        } catch (const AccessError& e) {
            QCOMPARE(e.Code(), 314);
            const QString m = e.Message();
            QVERIFY2(m.startsWith("[Dravix][Phys][FB]-314. Cannot load vendor library "
                                  "[/nonexistent/libfbclient.so.2 or /nonexistent/libfbclient.so]. "
                                  "/nonexistent/libfbclient.so: cannot open shared object file: No such file or directory\r\n"
                                  "Hint: check it is in the PATH or application EXE directories, and has x64 bitness."),
                     qPrintable(m));
        }
        QCOMPARE(c.State(), ConnectionState::Closed);
        QVERIFY(!ClientLibrary::Loaded());

        // A library without the client's entry points: error 315 names every missing one, one per line.
        ClientLibrary::SetCandidates({"libm.so.6"});
        try {
            c.Open();
            QFAIL("no error");
        } catch (const AccessError& e) {
            QCOMPARE(e.Code(), 315);
            QVERIFY2(e.Message().startsWith("[Dravix][Phys][FB]-315. Cannot get vendor library entry point[s]. "
                                            "[isc_attach_database\nisc_detach_database\n"),
                     qPrintable(e.Message()));
            QVERIFY(e.Message().endsWith("isc_service_start]"));
        }
        QVERIFY(!ClientLibrary::Loaded());

        // The next opening tries again.
        ClientLibrary::SetCandidates(real);
        c.Open();
        QVERIFY(c.Connected());
        QVERIFY(ClientLibrary::Loaded());
        QVERIFY(ClientLibrary::Loaded()->FileName().contains("libfbclient.so"));
    }

    // The library installs SIGINT and SIGTERM handlers of its own at the first attach; a signal then runs
    // its shutdown thread, which can crash the process when it overlaps the program's end. After an
    // attach, database or service, the handlers are again the process's own, and a signal reaches only them.
    void signalHandlersStayTheProcesssOwn() {
        QVERIFY(ClientLibrary::Loaded());
        for (int signal : {SIGINT, SIGTERM, SIGHUP})
            QVERIFY2(HandlerOf(signal) == &Received, qPrintable(QString::number(signal)));

        ServiceClient service;
        service.Attach(test::ServiceSettingsFor(QString()));
        QVERIFY(HandlerOf(SIGTERM) == &Received);

        test::TempDatabase db;
        DatabaseConnection c("x", test::SettingsFor(db.Path()));
        c.Open();
        g_received = 0;
        ::raise(SIGTERM);
        QCOMPARE(int(g_received), SIGTERM);
        QTest::qWait(200); // time for a shutdown thread, if one had been woken
        QCOMPARE(c.ExecSQLScalar("SELECT 7 FROM RDB$DATABASE").ToInteger(), 7);
        c.Close();
    }
};

QTEST_GUILESS_MAIN(TestClientLibrary)
#include "TestClientLibrary.moc"
