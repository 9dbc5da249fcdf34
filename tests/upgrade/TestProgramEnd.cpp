// The program ended from outside while it works, as a session logout or a service manager would end it: the
// real program (started as a process, driven as a person would) gets SIGTERM, SIGINT or SIGHUP while idle,
// during a version step, during the compaction's backup and during its restore. It ends each time, and the
// database is at the previous version or fully restored, never half-upgraded and never dropped.
#include "tests/support/Relay.h"
#include "tests/support/TestServer.h"
#include "tests/upgrade/LortuFixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

using namespace abd;
using namespace abd::test;

namespace {
/// The program as a process, with a data folder of its own for the records of its runs.
class Program {
public:
    Program(const Lortu& l, bool backup, bool compactar, const QString& pane, const QString& prefix, int holdMs,
            const QString& server = Host(), const QMap<QString, QString>& environment = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_DATA_HOME", data_.path());
        for (auto it = environment.cbegin(); it != environment.cend(); ++it)
            env.insert(it.key(), it.value());
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        process_.start(QStringLiteral(ABD_PROGRAM_HARNESS),
                       {server, l.db.Path(), Password(), backup ? "1" : "0", compactar ? "1" : "0", pane, prefix,
                        QString::number(holdMs)});
        if (!process_.waitForStarted())
            qFatal("the program did not start");
    }
    ~Program() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished();
        }
    }

    /// Waits for a line the program says, for up to a minute.
    bool WaitFor(const QString& word) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 60000) {
            while (process_.canReadLine()) {
                const QString line = QString::fromUtf8(process_.readLine()).trimmed();
                said_ << line;
                if (line == word)
                    return true;
            }
            if (process_.state() == QProcess::NotRunning)
                return false;
            process_.waitForReadyRead(100);
        }
        return false;
    }

    void Send(int signal) {
        // A process that has ended has no id: kill(0) would signal this test's own process group.
        if (const qint64 pid = process_.processId(); pid > 0)
            ::kill(static_cast<pid_t>(pid), signal);
    }

    /// Milliseconds until the process ended, or -1 when it did not within the limit.
    qint64 WaitForEnd(int limitMs) {
        QElapsedTimer t;
        t.start();
        if (process_.state() != QProcess::NotRunning && !process_.waitForFinished(limitMs))
            return -1;
        return t.elapsed();
    }
    int ExitCode() const { return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1; }
    /// How the process ended and what it wrote to standard error, for a failure's message.
    QString Ending() {
        return (process_.exitStatus() == QProcess::NormalExit ? QStringLiteral("exit status %1")
                                                               : QStringLiteral("crashed (%1)"))
                   .arg(process_.exitCode()) +
               QStringLiteral("; stderr: ") + QString::fromLocal8Bit(process_.readAllStandardError());
    }
    QStringList Said() {
        said_ << QString::fromUtf8(process_.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        return said_;
    }

    /// The record of the one run the program made.
    QStringList Record() const {
        const QDir folder(data_.path() + QStringLiteral("/atualizar-banco-dados"));
        const QStringList logs = folder.entryList({"*.log"}, QDir::Files);
        return logs.size() == 1 ? RecordLines(folder.filePath(logs.first())) : QStringList{};
    }

private:
    QTemporaryDir data_;
    QProcess process_;
    QStringList said_;
};
} // namespace

class TestProgramEnd : public QObject {
    Q_OBJECT
private slots:
    void idle_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGHUP") << SIGHUP;
    }
    void idle() {
        QFETCH(int, signal);
        Lortu l("UPDATE CONFIGURAR SET VERSAO_BANCO_DADOS = 5;");
        Program p(l, false, false, "-", "", 0);
        QVERIFY(p.WaitFor("IDLE"));
        p.Send(signal);
        const qint64 took = p.WaitForEnd(10000);
        QVERIFY2(took >= 0 && took < 2000, qPrintable(QString::number(took)));
        QVERIFY2(p.ExitCode() == 0, qPrintable(p.Ending()));
        QVERIFY(RecordOf(p.Record(), "atualizar").contains("Banco dados já esta atualizado."));
        // Its connection was closed when it ended.
        QCOMPARE(l.db.Scalar("SELECT COUNT(*) FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID <> CURRENT_CONNECTION "
                             "AND MON$SYSTEM_FLAG = 0;"),
                 QStringLiteral("0"));
    }

    void duringAVersionStep_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
    }
    void duringAVersionStep() {
        QFETCH(int, signal);
        Lortu l(SlowDeletes(60000));
        Program p(l, false, false, "sql", "DELETE FROM MOVIMENTO", 0);
        QVERIFY(p.WaitFor("MARK"));
        QTest::qWait(500); // the DELETE is at the server now, held by its trigger for a minute
        p.Send(signal);
        const qint64 took = p.WaitForEnd(30000);
        QVERIFY2(took >= 0, "the program did not end");
        QVERIFY2(p.ExitCode() == 0, qPrintable(p.Ending()));
        const QStringList record = p.Record();
        const QStringList atualizar = RecordOf(record, "atualizar");
        QVERIFY(atualizar.contains("003 versão atualizada com sucesso."));
        QCOMPARE(atualizar.mid(atualizar.size() - 2),
                 (QStringList{"004 Erro: versão não foi atualizada.", "Atualização interrompida."}));
        QVERIFY(record.contains("[execução] Pedido de encerramento (sinal " +
                                QString(signal == SIGTERM ? "SIGTERM" : "SIGINT") + ")."));
        QVERIFY(!p.Said().join(' ').contains("BOX"));
        QCOMPARE(l.db.Scalar("SELECT VERSAO_BANCO_DADOS || EXPURGO FROM CONFIGURAR;"), QStringLiteral("3S"));
        QCOMPARE(l.db.Scalar("SELECT COUNT(*) FROM MOVIMENTO WHERE HISTORICO_ID = 11;"), QStringLiteral("2"));
    }

    void duringTheCompaction_data() {
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<bool>("restored");
        QTest::newRow("its backup") << "gbak:readied database" << false;
        // The backup is being restored into the scratch database: waited for, dropped, and never put in place.
        QTest::newRow("its verification") << "gbak:created database" << false;
        // The database has been dropped and is being rebuilt: the program must wait for the restore's end.
        QTest::newRow("its restore") << "gbak:created database <database>" << true;
    }
    void duringTheCompaction() {
        QFETCH(QString, prefix);
        QFETCH(bool, restored);
        Lortu l;
        prefix.replace("<database>", l.db.Path());
        Program p(l, false, true, "compactar", prefix, 700);
        QVERIFY(p.WaitFor("MARK"));
        p.Send(SIGTERM);
        QTest::qWait(100);
        p.Send(SIGTERM); // a second request changes nothing: the server's job is still waited for
        const qint64 took = p.WaitForEnd(60000);
        QVERIFY2(took >= 0, "the program did not end");
        QVERIFY2(p.ExitCode() == 0, qPrintable(p.Ending()));
        const QStringList record = p.Record();
        QVERIFY(record.contains("[status] Aguardando o servidor terminar..."));
        QVERIFY(record.contains("[execução] Pedido de encerramento (sinal SIGTERM)."));
        QVERIFY(record.contains("[execução] Novo pedido de encerramento (sinal SIGTERM): o programa termina assim que "
                                "a atualização parar."));
        const QStringList compactar = RecordOf(record, "compactar");
        QVERIFY2(compactar.last().endsWith(" Tempo"), qPrintable(compactar.last()));
        QCOMPARE(compactar.filter("gbak:created database " + l.db.Path()).size(), restored ? 1 : 0);
        QVERIFY(l.BackupFiles().filter(".verificacao.").isEmpty());
        QCOMPARE(RecordOf(record, "status").contains("Concluído."), restored);
        QCOMPARE(RecordOf(record, "atualizar").last(),
                 restored ? QStringLiteral("Compactar") : QStringLiteral("Atualização interrompida."));
        // Upgraded, whole and in use: never dropped.
        QCOMPARE(l.db.Scalar("SELECT VERSAO_BANCO_DADOS || '/' || (SELECT COUNT(*) FROM MOVIMENTO) FROM CONFIGURAR;"),
                 QStringLiteral("5/3"));
    }

    void aServerThatStopsAnswering_data() {
        QTest::addColumn<bool>("idle");
        QTest::addColumn<QString>("stage");
        QTest::newRow("during a step") << false << "versão 4";
        QTest::newRow("at the last close") << true << "fechamento da conexão";
    }
    void aServerThatStopsAnswering() {
        // The network to the server goes silent: the relay forwards nothing more and closes nothing. A stop
        // then waits for the server only up to the silence limit and a few seconds, and the program never
        // outlives its window for longer, its last close included.
        QFETCH(bool, idle);
        QFETCH(QString, stage);
        Lortu l(idle ? "UPDATE CONFIGURAR SET VERSAO_BANCO_DADOS = 5;" : "");
        auto relay = std::make_unique<Relay>(3063, 0);
        // During a step the run holds 1 s at version 4's first statement, which then goes into the silence.
        Program p(l, false, false, idle ? "-" : "sql", "DELETE FROM MOVIMENTO", -1000, "127.0.0.1/3063",
                  {{"ABD_SILENCIO_MAXIMO", "6"}});
        QVERIFY(p.WaitFor(idle ? "IDLE" : "MARK"));
        relay->Freeze();
        p.Send(SIGTERM);
        const qint64 took = p.WaitForEnd(30000);
        QVERIFY2(took >= 0 && took < 6000 + 5000 + 3000, qPrintable(QString::number(took)));
        const QString ending = p.Ending();
        QVERIFY2(p.ExitCode() == 1, qPrintable(ending));
        const QString text = "O programa terminou sem esperar pelo servidor, que não responde há mais de 6 s (etapa: " +
                             stage + ").";
        QVERIFY2(ending.contains(text), qPrintable(ending));
        const QStringList record = p.Record();
        QVERIFY2(!RecordOf(record, "erro").filter(text).isEmpty(), qPrintable(record.join('\n')));
        // A silence during the run is said while it lasts; the last close has no status bar left.
        QCOMPARE(RecordOf(record, "status").filter("O servidor não responde há 6 s (etapa: " + stage + ").").size(),
                 idle ? 0 : 1);
        // Once the connection is cut, the server rolls back what the step had done.
        relay.reset();
        QCOMPARE(l.db.Scalar("SELECT VERSAO_BANCO_DADOS || EXPURGO FROM CONFIGURAR;").left(idle ? 1 : 2),
                 idle ? QStringLiteral("5") : QStringLiteral("3S"));
        QCOMPARE(l.db.Scalar("SELECT COUNT(*) FROM MOVIMENTO WHERE HISTORICO_ID = 11;"), QStringLiteral("2"));
    }
};

QTEST_GUILESS_MAIN(TestProgramEnd)
#include "TestProgramEnd.moc"
