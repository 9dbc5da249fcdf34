// The project's set-up scripts on a machine that holds more than the demo: they never change a database or a
// server that they did not create themselves.
#include "tests/support/TestServer.h"

#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <vector>

using namespace abd::test;

namespace {
struct Result {
    int code = -1;
    QString errors;
};

Result Script(const QString& name, const QStringList& args, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("bash"), QStringList{QStringLiteral(ABD_SOURCE_DIR "/scripts/") + name} + args);
    // The event loop runs meanwhile: a listener of the test answers the script.
    if (!QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 120000))
        qFatal("%s did not end", qPrintable(name));
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardError())};
}

/// The local server, started again however the test ends.
struct ServerBack {
    ~ServerBack() {
        if (Script("firebird-server.sh", {"start"}).code != 0)
            qFatal("the local server did not start again");
    }
};
} // namespace

class TestSetUpScripts : public QObject {
    Q_OBJECT
private slots:
    void demoLeavesAnotherLortuAlone() {
        QTemporaryDir dir;
        const QString conf = dir.filePath("databases.conf");
        const QByteArray text = "# another installation\nLortu = /srv/lortu/LORTU.FDB\n";
        QFile f(conf);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
        f.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("FIREBIRD_DATABASES_CONF", conf);
        const Result r = Script("demo-database.sh", {"--reset"}, env);
        QCOMPARE(r.code, 1);
        QVERIFY2(r.errors.contains("the alias LORTU in " + conf + " already names /srv/lortu/LORTU.FDB"),
                 qPrintable(r.errors));
        QVERIFY(r.errors.contains("Nothing was changed"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), text);
    }

    void stopAndStartLeaveOtherServersAlone() {
        ServerBack back;
        // Processes named as a Firebird server's guard and server, of another installation.
        QTemporaryDir dir;
        std::vector<std::unique_ptr<QProcess>> others;
        for (const char* name : {"fbguard", "firebird"}) {
            const QString program = dir.filePath(name);
            QVERIFY(QFile::copy("/bin/sleep", program));
            others.push_back(std::make_unique<QProcess>());
            others.back()->start(program, {"300"});
            QVERIFY(others.back()->waitForStarted());
        }
        QCOMPARE(Script("firebird-server.sh", {"stop"}).code, 0);
        QCOMPARE(Script("firebird-server.sh", {"start"}).code, 0);
        QCOMPARE(Script("firebird-server.sh", {"restart"}).code, 0);
        for (const auto& p : others) {
            QCOMPARE(p->state(), QProcess::Running);
            p->kill();
            p->waitForFinished();
        }
    }

    void startLeavesAForeignServerAlone() {
        ServerBack back;
        QCOMPARE(Script("firebird-server.sh", {"stop"}).code, 0);
        // Something else listens on the server's port: not a server that the script set up.
        QTcpServer foreign;
        QVERIFY(foreign.listen(QHostAddress::LocalHost, 3050));
        QObject::connect(&foreign, &QTcpServer::newConnection, [&] {
            while (QTcpSocket* s = foreign.nextPendingConnection())
                s->close();
        });
        const Result r = Script("firebird-server.sh", {"start"});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.errors.contains("a server that this script did not set up is listening on 127.0.0.1:3050"),
                 qPrintable(r.errors));
    }
};

QTEST_GUILESS_MAIN(TestSetUpScripts)
#include "TestSetUpScripts.moc"
