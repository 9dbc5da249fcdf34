// The terminal program run as a process against the local server, as an administrator over SSH would run it.
#include "app/TfPrincipal.h"
#include "firebird/DatabaseConnection.h"
#include "tests/support/Relay.h"
#include "tests/support/TestServer.h"
#include "tests/upgrade/WindowDriver.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace abd;
using namespace abd::test;

namespace {
struct Result {
    int status = -1;
    QStringList out;
    QString errors;
    QStringList record; // the record of the run, from the program's data folder
};

/// The program, detached from any terminal (a session of its own), with the password in the environment unless
/// `password` is empty.
class Console {
public:
    Result Run(const QStringList& args, const QString& password = Password(), const std::function<void(QProcess&)>& during = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", dataHome.isEmpty() ? data_.path() : dataHome);
        env.remove("ISC_PASSWORD");
        if (!password.isEmpty())
            env.insert("ISC_PASSWORD", password);
        for (auto it = environment.cbegin(); it != environment.cend(); ++it)
            env.insert(it.key(), it.value());
        QProcess p;
        p.setProcessEnvironment(env);
        const bool closed = closedOutput;
        p.setChildProcessModifier([closed] {
            ::setsid();
            if (closed) {
                // Standard output is a pipe whose reader has gone, as after "| head -1".
                int fds[2];
                if (::pipe(fds) == 0) {
                    ::close(fds[0]);
                    ::dup2(fds[1], 1);
                    ::close(fds[1]);
                }
            }
        });
        p.start(QStringLiteral(ABD_CONSOLE), args);
        if (!p.waitForStarted())
            qFatal("the console program did not start");
        if (during)
            during(p);
        if (p.state() != QProcess::NotRunning && !p.waitForFinished(300000))
            qFatal("the console program did not end");
        Result r;
        r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        r.errors = QString::fromUtf8(p.readAllStandardError());
        const QDir folder(data_.path() + "/atualizar-banco-dados");
        const QStringList logs = folder.entryList({"*.log"}, QDir::Files, QDir::Time);
        if (!logs.isEmpty())
            r.record = RecordLines(folder.filePath(logs.first()));
        return r;
    }

    /// The program's standard output is a pipe that nobody reads.
    bool closedOutput = false;
    /// Another data folder than the test's own.
    QString dataHome;
    /// More variables for the program's environment.
    QMap<QString, QString> environment;

private:
    QTemporaryDir data_;
};

/// The lines of one pane in the program's output.
QStringList Printed(const QStringList& out, const QString& tag) {
    // Standard output holds exactly the lines a record holds, without the times.
    return RecordOf(out, tag);
}

/// What differs between two runs of the same upgrade on two databases: times, dates and names.
QStringList Comparable(QStringList lines, const QString& database, const QString& folder) {
    static const QRegularExpression digits(QStringLiteral("\\d"));
    for (QString& l : lines) {
        l.replace(database, "<db>").replace(folder, "<folder>").replace(QFileInfo(database).fileName(), "<file>");
        l.replace(digits, "#");
    }
    return lines;
}
} // namespace

class TestConsole : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void fullRunShowsWhatTheWindowShows() {
        Lortu console;
        Console c;
        const Result r = c.Run({"--servidor", Host(), "--banco-dados", console.db.Path()});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.errors.isEmpty(), qPrintable(r.errors));
        QCOMPARE(console.db.Scalar("SELECT VERSAO_BANCO_DADOS FROM CONFIGURAR;"), QStringLiteral("5"));
        QCOMPARE(console.BackupFiles().size(), 2);

        // The same run through the window, on a database of its own.
        Lortu window;
        TfPrincipal w;
        Prepare(w);
        Driver driver(window.db.Path());
        Click(w);
        const QString cdb = console.db.Path(), wdb = window.db.Path();
        QCOMPARE(Printed(r.out, "atualizar"), Added(w.mAtualizar, 7));
        QCOMPARE(Comparable(Printed(r.out, "backup"), cdb, console.backupFolder),
                 Comparable(Lines(w.mBackup).mid(1), wdb, window.backupFolder));
        QCOMPARE(Comparable(Printed(r.out, "compactar"), cdb, console.backupFolder),
                 Comparable(Lines(w.mCompactar).mid(1), wdb, window.backupFolder));
        QCOMPARE(Comparable(Printed(r.out, "sql"), cdb, console.backupFolder),
                 Comparable(Lines(w.mSQL).mid(1), wdb, window.backupFolder));
        QCOMPARE(Printed(r.out, "status"), QStringList{"Concluído."});
        QCOMPARE(Printed(r.out, "mensagem"), QStringList{"Concluído"});
        // Each line once, and the record of the run holds the same lines.
        QCOMPARE(RecordOf(r.record, "sql"), Printed(r.out, "sql"));
        QCOMPARE(RecordOf(r.record, "atualizar"), Printed(r.out, "atualizar"));
        QVERIFY(!r.out.join('\n').contains(Password()));
    }

    void outcomes_data() {
        QTest::addColumn<QString>("variant");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("attachOther");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("lastLine");
        QTest::addColumn<QString>("errorStart");
        QTest::addColumn<QString>("version");
        QTest::newRow("up to date") << "UPDATE CONFIGURAR SET VERSAO_BANCO_DADOS = 5;" << Password() << false << 0
                                    << "[atualizar] Banco dados já esta atualizado." << "" << "5";
        QTest::newRow("refused") << "" << Password() << true << 3 << "[mensagem] Sair todos." << "" << "1";
        QTest::newRow("version 5 fails") << "UPDATE CONFIGURAR SET VERSAO_BANCO_DADOS = 4;\nCREATE DOMAIN DM_CHAR_01 AS CHAR(1);"
                                         << Password() << false << 4 << "[atualizar] 005 Erro: versão não foi atualizada."
                                         << "[Dravix][Phys][FB]unsuccessful metadata update" << "4";
        QTest::newRow("wrong password") << "" << "errada" << false << 1 << ""
                                        << "[Dravix][Phys][FB]Your user name and password are not defined." << "1";
    }
    void outcomes() {
        QFETCH(QString, variant);
        QFETCH(QString, password);
        QFETCH(bool, attachOther);
        QFETCH(int, status);
        QFETCH(QString, lastLine);
        QFETCH(QString, errorStart);
        QFETCH(QString, version);
        Lortu l(variant);
        DatabaseConnection other("x", SettingsFor(l.db.Path()));
        if (attachOther)
            other.Open();
        Console c;
        const Result r = c.Run({"--banco-dados", l.db.Path(), "--sem-backup", "--sem-compactar"}, password);
        other.Close();
        QCOMPARE(r.status, status);
        QCOMPARE(r.out.value(r.out.size() - 1), lastLine);
        QVERIFY2(errorStart.isEmpty() ? r.errors.isEmpty() : r.errors.startsWith(errorStart), qPrintable(r.errors));
        QCOMPARE(l.db.Scalar("SELECT VERSAO_BANCO_DADOS FROM CONFIGURAR;"), version);
        QVERIFY(!(r.out.join('\n') + r.errors).contains(Password()));
    }

    void refusedWithoutAPassword() {
        // No ISC_PASSWORD and no terminal to ask on: nothing is tried.
        Lortu l;
        Console c;
        const Result r = c.Run({"--banco-dados", l.db.Path()}, QString());
        QCOMPARE(r.status, 2);
        QVERIFY(r.out.isEmpty());
        QVERIFY2(r.errors.startsWith("Nenhuma senha: defina a variável de ambiente ISC_PASSWORD"), qPrintable(r.errors));
        QVERIFY(r.record.isEmpty());
    }

    void options_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");
        QTest::newRow("help") << QStringList{"--help"} << 0 << "  4  uma versão falhou: o banco ficou na versão anterior";
        QTest::newRow("version") << QStringList{"--version"} << 0 << "atualizar-banco-dados-console 1.0";
        QTest::newRow("unknown option") << QStringList{"--senha", "x"} << 2 << "--help";
        QTest::newRow("argument") << QStringList{"LORTU"} << 2 << "Argumento desconhecido: LORTU";
        QTest::newRow("too long") << QStringList{"--usuario", QString(32, 'u')} << 2
                                  << "--usuario aceita no máximo 31 caracteres.";
        QTest::newRow("empty") << QStringList{"--servidor="} << 2 << "--servidor não pode ficar vazio.";
    }
    void options() {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, text);
        Console c;
        const Result r = c.Run(args);
        QCOMPARE(r.status, status);
        QVERIFY2((r.out.join('\n') + r.errors).contains(text), qPrintable(r.out.join('\n') + r.errors));
    }

    void sigtermDuringAStep() {
        Lortu l(SlowDeletes(60000));
        Console c;
        const Result r = c.Run({"--banco-dados", l.db.Path(), "--sem-backup", "--sem-compactar"}, Password(), [](QProcess& p) {
            // Once version 4's DELETE is at the server, held there by its trigger.
            QString seen;
            while (!seen.contains("DELETE FROM MOVIMENTO")) {
                if (!p.waitForReadyRead(60000))
                    qFatal("no DELETE");
                seen += QString::fromUtf8(p.peek(1 << 20));
            }
            QTest::qWait(500);
            ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
        });
        QCOMPARE(r.status, 128 + SIGTERM);
        QCOMPARE(Printed(r.out, "atualizar").mid(Printed(r.out, "atualizar").size() - 2),
                 (QStringList{"004 Erro: versão não foi atualizada.", "Atualização interrompida."}));
        QVERIFY2(r.errors.contains("SIGTERM recebido"), qPrintable(r.errors));
        QVERIFY(r.record.contains("[execução] Pedido de encerramento (sinal SIGTERM)."));
        QCOMPARE(l.db.Scalar("SELECT VERSAO_BANCO_DADOS || EXPURGO FROM CONFIGURAR;"), QStringLiteral("3S"));
    }

    void theRecordIsNeverSilentlyMissing() {
        Lortu l("UPDATE CONFIGURAR SET VERSAO_BANCO_DADOS = 5;");
        // A data folder that cannot be made: the run goes on, and says so once, naming the folder.
        Console blocked;
        blocked.dataHome = "/dev/null/dados";
        const Result r = blocked.Run({"--banco-dados", l.db.Path()});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.errors.count("O registro desta execução não pôde ser criado na pasta "
                                "/dev/null/dados/atualizar-banco-dados"),
                 1);
        QVERIFY(Printed(r.out, "atualizar").contains("Banco dados já esta atualizado."));
        // A record is its owner's alone.
        QTemporaryDir home;
        Console c;
        c.dataHome = home.path();
        QCOMPARE(c.Run({"--banco-dados", l.db.Path()}).status, 0);
        const QString folder = home.path() + "/atualizar-banco-dados";
        const QStringList logs = QDir(folder).entryList({"*.log"}, QDir::Files);
        QCOMPARE(logs.size(), 1);
        const auto mode = [](const QString& path) {
            struct stat st {};
            return ::stat(path.toLocal8Bit().constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
        };
        QCOMPARE(mode(folder + "/" + logs.first()), 0600);
        QCOMPARE(mode(folder), 0700);
    }

    void aBackupThatDoesNotRestoreLeavesTheDatabaseOnline() {
        // The steps commit and the compaction's backup is written, but it does not restore: the database is
        // never replaced, and the run ends with the compaction's status.
        Lortu l(IndexThatFailsOnRestore());
        Console c;
        const Result r = c.Run({"--banco-dados", l.db.Path(), "--sem-backup"});
        QCOMPARE(r.status, 5);
        const QString file = Printed(r.out, "compactar").value(1);
        QVERIFY2(r.errors.contains("A compactação não foi feita: o backup " + file +
                                   " não pôde ser restaurado. O banco de dados continua como estava, já na versão 5."),
                 qPrintable(r.errors));
        QVERIFY(!Printed(r.out, "compactar").filter("ERROR:attempt to store duplicate value").isEmpty());
        QCOMPARE(l.db.Scalar("SELECT MON$SHUTDOWN_MODE || '/' || (SELECT VERSAO_BANCO_DADOS FROM CONFIGURAR) FROM "
                             "MON$DATABASE;"),
                 QStringLiteral("0/5"));
        QCOMPARE(l.BackupFiles(), QStringList{QFileInfo(file).fileName()});
    }

    void aRehearsalLeavesTheLiveDatabaseAsItWas_data() {
        QTest::addColumn<QString>("variant");
        QTest::addColumn<int>("status");
        QTest::newRow("every step would succeed") << QString() << 0;
        // A domain that version 5 creates is already there.
        QTest::newRow("version 5 would fail") << "CREATE DOMAIN DM_CHAR_01 AS CHAR(1);" << 4;
    }
    void aRehearsalLeavesTheLiveDatabaseAsItWas() {
        QFETCH(QString, variant);
        QFETCH(int, status);
        Lortu l(variant);
        const QString before = LiveState(l);
        // Somebody works in the database all along: the rehearsal neither refuses nor disturbs them.
        DatabaseConnection other("x", SettingsFor(l.db.Path()));
        other.Open();
        QCOMPARE(other.ExecSQLScalar("SELECT COUNT(*) FROM MOVIMENTO").ToInteger(), 5);
        Console c;
        const Result r = c.Run({"--banco-dados", l.db.Path(), "--ensaio"});
        QCOMPARE(other.ExecSQLScalar("SELECT VERSAO_BANCO_DADOS FROM CONFIGURAR").ToInteger(), 1);
        other.Close();
        QVERIFY2(r.status == status, qPrintable(r.out.join('\n') + r.errors));
        const QStringList atualizar = Printed(r.out, "atualizar");
        QVERIFY(atualizar.contains("Resumo do ensaio:"));
        QCOMPARE(atualizar.filter(QRegularExpression("^Versão [234]: seria aplicada \\(\\d\\d:\\d\\d:")).size(), 3);
        QCOMPARE(atualizar.filter(QRegularExpression("^Estimativa da atualização neste banco de dados: \\d\\d:")).size(), 1);
        if (status == 0) {
            QVERIFY(atualizar.contains("005 versão atualizada com sucesso."));
            QCOMPARE(atualizar.last(), QStringLiteral("Ensaio concluído: todas as versões seriam aplicadas."));
        } else {
            QVERIFY(atualizar.contains("005 Erro: versão não foi atualizada."));
            const QStringList five = atualizar.filter("Versão 5: falharia");
            QCOMPARE(five.size(), 1);
            QVERIFY2(five[0].contains("unsuccessful metadata update"), qPrintable(five[0]));
            QVERIFY2(r.errors.contains("Ensaio: a versão 5 falharia. O banco de dados não foi alterado."),
                     qPrintable(r.errors));
        }
        QCOMPARE(LiveState(l), before);
        // Its own backup is all it leaves: the copy was dropped.
        QCOMPARE(l.BackupFiles().size(), 1);
        QVERIFY2(l.BackupFiles()[0].endsWith(".ensaio.fbk"), qPrintable(l.BackupFiles()[0]));
    }

    void aStopDuringTheRehearsalsRestore() {
        // The restore into the copy is waited for, then the copy is dropped and no step runs.
        Lortu l;
        const QString before = LiveState(l);
        Console c;
        const Result r = c.Run({"--banco-dados", l.db.Path(), "--ensaio"}, Password(), [](QProcess& p) {
            while (!QString::fromUtf8(p.peek(1 << 22)).contains("gbak:created database"))
                if (!p.waitForReadyRead(60000))
                    qFatal("no restore");
            ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
        });
        QCOMPARE(r.status, 128 + SIGTERM);
        QCOMPARE(Printed(r.out, "atualizar").last(), QStringLiteral("Ensaio interrompido."));
        QVERIFY(Printed(r.out, "sql").filter("UPDATE CONFIGURAR").isEmpty());
        QCOMPARE(LiveState(l), before);
        QCOMPARE(l.BackupFiles().size(), 1);
    }

    void aServerThatStopsAnsweringDuringTheRestore() {
        // The network to the server goes silent while the compaction's restore replaces the database. The
        // program says so once the limit has passed; a SIGTERM then ends it within seconds, naming the backup
        // to restore from, instead of waiting for an answer that never comes.
        Lortu l;
        auto relay = std::make_unique<Relay>(3062, 0);
        Console c;
        c.environment["ABD_SILENCIO_MAXIMO"] = "8";
        qint64 ended = -1;
        const Result r = c.Run({"--servidor", "127.0.0.1/3062", "--banco-dados", l.db.Path(), "--sem-backup"},
                               Password(), [&](QProcess& p) {
                                   const auto waitFor = [&](const QString& text, int times = 1) {
                                       while (QString::fromUtf8(p.peek(1 << 22)).count(text) < times)
                                           if (!p.waitForReadyRead(60000))
                                               qFatal("not seen: %s", qPrintable(text));
                                   };
                                   // The verification's restore, then the one that replaces the database.
                                   waitFor("gbak:created database", 2);
                                   relay->Freeze();
                                   waitFor("O servidor não responde há 8 s (etapa: restauração).");
                                   QElapsedTimer t;
                                   t.start();
                                   ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
                                   if (p.waitForFinished(30000))
                                       ended = t.elapsed();
                               });
        QVERIFY2(ended >= 0 && ended < 8000, qPrintable(QString::number(ended)));
        QCOMPARE(r.status, 128 + SIGTERM);
        const QString file = Printed(r.out, "compactar").value(1);
        QVERIFY2(file.endsWith(".fbk"), qPrintable(file));
        QVERIFY2(r.errors.contains("restaure-o do backup " + file + "."), qPrintable(r.errors));
        QCOMPARE(RecordOf(r.record, "status").filter("O servidor não responde há 8 s").size(), 1);
        QVERIFY(r.record.contains("[erro] " + r.errors.section('\n', -2, -2)));
        // With the connection cut, the server still finishes the restore on its own: the database is whole.
        relay.reset();
        QString version;
        for (int waited = 0; waited < 120000 && version != "5"; waited += 500) {
            bool online = false; // the database stays shut down until the restore ends
            const QString out = RunIsql(l.db.Remote(), "SET HEADING OFF;\nSELECT VERSAO_BANCO_DADOS FROM CONFIGURAR;\n",
                                        &online);
            version = online ? out.trimmed() : QString();
            if (version != "5")
                QTest::qWait(500);
        }
        QCOMPARE(version, QStringLiteral("5"));
    }

    void closedOutputEndsAsForAHangUp() {
        // Nobody reads the output (a pager quit at once, a dropped SSH session): the first failed write ends
        // the run in order, as SIGHUP does, instead of a SIGPIPE that kills it half-way.
        Lortu l;
        Console c;
        c.closedOutput = true;
        const Result r = c.Run({"--banco-dados", l.db.Path()});
        QCOMPARE(r.status, 128 + SIGHUP);
        QVERIFY2(r.errors.contains("A saída padrão foi fechada"), qPrintable(r.errors));
        QVERIFY(r.record.contains("[execução] Pedido de encerramento (saída padrão fechada)."));
        QCOMPARE(RecordOf(r.record, "atualizar").last(), QStringLiteral("Atualização interrompida."));
        QCOMPARE(r.record.last(), QStringLiteral("[execução] Fim da execução."));
        QCOMPARE(l.db.Scalar("SELECT VERSAO_BANCO_DADOS FROM CONFIGURAR;"), QStringLiteral("1"));
        QVERIFY(l.BackupFiles().isEmpty());
    }
};

QTEST_MAIN(TestConsole)
#include "TestConsole.moc"
