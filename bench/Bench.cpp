// Benchmarks of the program against the server's own tools, and of its parts on their own.
//   abd-bench [--sizes 10,300]          all figures, as a Markdown table
//   abd-bench parser|runner|pane|startup|whole <size-mb>   one figure
// Each ratio is measured side by side in one run on the same server; every figure is the median of three
// runs, with the lowest and highest beside it. Needs the local server (scripts/firebird-server.sh start) and
// runs as root.
#include "app/Application.h"
#include "app/TfLogin.h"
#include "app/TfPrincipal.h"
#include "firebird/DatabaseConnection.h"
#include "firebird/ServiceClient.h"
#include "script/ScriptParser.h"
#include "script/ScriptRunner.h"
#include "upgrade/UpgradeRun.h"
#include "upgrade/UpgradeScripts.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>
#include <QUuid>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <pwd.h>
#include <unistd.h>

using namespace abd;

namespace {

const QString kHost = QStringLiteral("127.0.0.1");
const QString kPassword = QStringLiteral("pomelarix");
QString g_self;

/// How many times each figure is measured.
constexpr int kRuns = 3;

/// A figure's runs: the median and the spread.
struct Spread {
    double median = 0;
    double low = 0;
    double high = 0;
};

Spread Of(QVector<double> values) {
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values.front(), values.back()};
}

/// "27.36 (27.10 to 27.90)", scaled by `factor`.
QString Show(const Spread& s, int decimals, double factor = 1.0) {
    return QStringLiteral("%1 (%2 to %3)")
        .arg(s.median * factor, 0, 'f', decimals)
        .arg(s.low * factor, 0, 'f', decimals)
        .arg(s.high * factor, 0, 'f', decimals);
}

QString Folder() {
    static const QString f = [] {
        const QString dir = QStringLiteral("/tmp/abd-bench");
        QDir().mkpath(dir);
        if (const passwd* pw = getpwnam("firebird"))
            if (chown(dir.toLocal8Bit().constData(), pw->pw_uid, pw->pw_gid) != 0)
                std::perror("chown");
        return dir;
    }();
    return f;
}

/// A figure of /proc/self/status, in kB: VmHWM is the process's own peak resident set (getrusage's figure
/// survives exec from the parent), VmRSS the current one.
long StatusKb(const char* field) {
    QFile f(QStringLiteral("/proc/self/status"));
    f.open(QIODevice::ReadOnly);
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(static_cast<qsizetype>(std::strlen(field))).trimmed().split(' ').first().toLong();
    return 0;
}

double Run(const QString& program, const QStringList& args, const QByteArray& input = QByteArray()) {
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    p.waitForStarted();
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(-1);
    const double seconds = t.elapsed() / 1000.0;
    if (p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed:\n%s\n", qPrintable(program), p.readAll().constData());
        std::exit(1);
    }
    return seconds;
}

QString Isql(const QString& database, const QString& sql) {
    QProcess p;
    p.start(QStringLiteral("isql-fb"), {QStringLiteral("-q"), QStringLiteral("-user"), QStringLiteral("SYSDBA"),
                                        QStringLiteral("-password"), kPassword, QStringLiteral("-ch"),
                                        QStringLiteral("UTF8"), database});
    p.waitForStarted();
    p.write(sql.toUtf8());
    p.closeWriteChannel();
    p.waitForFinished(-1);
    const QByteArray err = p.readAllStandardError();
    if (!err.trimmed().isEmpty()) {
        std::fprintf(stderr, "isql: %s\n", err.constData());
        std::exit(1);
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString NewDatabasePath(const QString& stem) {
    return Folder() + QLatin1Char('/') + stem + QLatin1Char('-') + QUuid::createUuid().toString(QUuid::Id128).left(8) +
           QStringLiteral(".fdb");
}

void CreateDatabase(const QString& path, const QString& sql) {
    Isql(QString(), QStringLiteral("CREATE DATABASE '%1:%2' USER 'SYSDBA' PASSWORD '%3' PAGE_SIZE 8192 DEFAULT CHARACTER "
                                   "SET WIN1252;\nCOMMIT;\n")
                        .arg(kHost, path, kPassword));
    if (!sql.isEmpty())
        Isql(kHost + QLatin1Char(':') + path, sql + QStringLiteral("\nCOMMIT;\n"));
}

QString DemoSql() {
    QFile f(QStringLiteral(ABD_SOURCE_DIR "/demo/lortu-v1.sql"));
    f.open(QIODevice::ReadOnly);
    return QString::fromUtf8(f.readAll());
}

/// A Lortu database at version 1 of about `megabytes`: rows in MOVIMENTO and a few hundred extra tables.
QString GenerateLortu(int megabytes) {
    const QString path = NewDatabasePath(QStringLiteral("lortu%1mb").arg(megabytes));
    QString sql = DemoSql();
    sql += QStringLiteral("\nUPDATE CONFIGURAR SET PASTA_BACKUP = '%1/' WHERE ID = 1;\nCOMMIT;\n").arg(Folder());
    for (int t = 0; t < 300; ++t)
        sql += QStringLiteral("CREATE TABLE EXTRA_%1 (ID INTEGER NOT NULL PRIMARY KEY, NOME VARCHAR(40), VALOR "
                              "NUMERIC(15,2));\n")
                   .arg(t);
    sql += QStringLiteral("COMMIT;\n");
    CreateDatabase(path, sql);
    // About 120 bytes a row, with its index entries.
    const long rows = static_cast<long>(megabytes) * 1024L * 1024L / 85L;
    const QString fill = QStringLiteral(
        "SET TERM ^ ;\nEXECUTE BLOCK AS DECLARE I INTEGER = 100; BEGIN\n"
        "  WHILE (I < %1) DO BEGIN\n"
        "    INSERT INTO MOVIMENTO (ID, CLIENTE_ID, HISTORICO_ID, EDICAO_ID, VALOR, QUANTIDADE)\n"
        "    VALUES (:I, MOD(:I, 3) + 1, IIF(MOD(:I, 97) = 0, 11, 1), MOD(:I, 2) + 1, MOD(:I, 1000) / 10.0, 1);\n"
        "    I = I + 1;\n  END\nEND^\nSET TERM ; ^\nCOMMIT;\n");
    Isql(kHost + QLatin1Char(':') + path, fill.arg(rows + 100));
    Isql(kHost + QLatin1Char(':') + path,
         QStringLiteral("SET TERM ^ ;\nEXECUTE BLOCK AS DECLARE T INTEGER = 0; DECLARE I INTEGER; BEGIN\n"
                        "  WHILE (T < 300) DO BEGIN I = 0;\n"
                        "    WHILE (I < 50) DO BEGIN\n"
                        "      EXECUTE STATEMENT 'INSERT INTO EXTRA_' || T || ' VALUES (' || I || ', ''nome'', 1.5)';\n"
                        "      I = I + 1; END\n    T = T + 1; END\nEND^\nSET TERM ; ^\nCOMMIT;\n"));
    return path;
}

/// A copy made by the server itself, so both sides start from the same database.
QString CopyDatabase(const QString& path) {
    const QString copy = NewDatabasePath(QStringLiteral("copy"));
    const QString file = copy + QStringLiteral(".fbk");
    Run(QStringLiteral("gbak"), {"-b", "-user", "SYSDBA", "-password", kPassword, "-se", kHost + ":service_mgr", path, file});
    Run(QStringLiteral("gbak"), {"-c", "-user", "SYSDBA", "-password", kPassword, "-se", kHost + ":service_mgr", file, copy});
    QFile::remove(file);
    return copy;
}

/// The run's host with no window: defaults for the login, the panes kept in memory.
class HeadlessHost : public UpgradeHost {
public:
    explicit HeadlessHost(QString database) : database_(std::move(database)) {}
    bool Login(LoginValues& v) override {
        v = {kHost, database_, QStringLiteral("SYSDBA"), kPassword};
        return true;
    }
    void Information(const QString& text) override { Fail(text); }
    void Concluded() override { concluded = true; }
    void Append(Pane, const QString& line) override { lines << line; }
    void SetStatus(const QString&) override {}
    void ConsolePut(const QString& m) override { lines << m; }
    void ProgressBackup(const QString& l) override { lines << l; }
    void ProgressCompactar(const QString& l) override { lines << l; }
    void HideUpdateCommand() override {}
    bool BackupChecked() override { return true; }
    bool CompactarChecked() override { return true; }
    void ExecuteBackup() override { run->aBackupExecute(); }
    void ExecuteCompactar() override { run->aCompactarExecute(); }
    void SetBusy(bool) override {}
    static void Fail(const QString& text) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        std::exit(1);
    }
    UpgradeRun* run = nullptr;
    QStringList lines;
    bool concluded = false;

private:
    QString database_;
};

/// Child process: the program's whole run, headless, through the code the button runs.
int WholeRunChild(const QString& database) {
    HeadlessHost host(database);
    UpgradeRun run(host);
    host.run = &run;
    QElapsedTimer t;
    t.start();
    try {
        run.aAtualizarExecute();
    } catch (const std::exception& e) {
        HeadlessHost::Fail(QString::fromUtf8(e.what()));
    }
    if (!host.concluded)
        HeadlessHost::Fail(QStringLiteral("the run did not conclude"));
    std::printf("%.3f %ld %lld\n", t.elapsed() / 1000.0, StatusKb("VmHWM:"), static_cast<long long>(host.lines.size()));
    return 0;
}

/// Child process: the whole run through the real window (offscreen), the login filled and the boxes closed as
/// a person would; reports the longest time the window's event loop went without handling its timer.
int WindowRunChild(int argc, char** argv, const QString& database) {
    Aplicacao app(argc, argv);
    TfPrincipal w;
    w.show();
    (void)QTest::qWaitForWindowExposed(&w);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* d = qobject_cast<TfLogin*>(modal)) {
            d->eServidor->setText(kHost);
            d->eBancoDados->setText(database);
            d->eSenha->setText(kPassword);
            d->bOK->click();
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            if (box->windowTitle() != QStringLiteral("Concluído"))
                HeadlessHost::Fail(box->text());
            box->buttons().first()->click();
        }
    });
    poll.start(20);
    // A precise 5 ms timer: any gap beyond its interval is time the loop spent without handling events.
    QElapsedTimer sinceLast;
    qint64 longest = 0;
    QTimer ping;
    ping.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ping, &QTimer::timeout, [&] {
        if (sinceLast.isValid())
            longest = std::max(longest, sinceLast.elapsed());
        sinceLast.start();
    });
    ping.start(5);
    QElapsedTimer t;
    t.start();
    w.bAtualizar->click();
    while (w.RunActive())
        app.processEvents(QEventLoop::WaitForMoreEvents);
    const double seconds = t.elapsed() / 1000.0;
    if (w.StatusBar1->currentMessage() != QStringLiteral("Concluído."))
        HeadlessHost::Fail(QStringLiteral("the run did not conclude"));
    std::printf("%.3f %lld %ld\n", seconds, static_cast<long long>(longest), StatusKb("VmHWM:"));
    return 0;
}

struct Row {
    QString name;
    QString ours;
    QString reference;
    QString ratio;
    QString target;
};

void Print(const QList<Row>& rows) {
    std::printf("| Benchmark | Program | Reference | Ratio or figure | Target |\n|---|---|---|---|---|\n");
    for (const Row& r : rows)
        std::printf("| %s | %s | %s | %s | %s |\n", qPrintable(r.name), qPrintable(r.ours), qPrintable(r.reference),
                    qPrintable(r.ratio), qPrintable(r.target));
    std::fflush(stdout);
}

void WholeRun(int megabytes, QList<Row>& rows) {
    std::fprintf(stderr, "generating a Lortu database of about %d MB...\n", megabytes);
    const QString generated = GenerateLortu(megabytes);
    double size = 0;
    QVector<double> program, tools, unverified, ratio, ratioUnverified, rss, windowSeconds, gap;
    const QString svc = kHost + QStringLiteral(":service_mgr");
    const QStringList auth{"-user", "SYSDBA", "-password", kPassword, "-se", svc};
    for (int run = 0; run < kRuns; ++run) {
        // Every side starts from a copy that the server made: a restored database is more compact than the
        // generated one, whose extra pages would weigh on whichever side got it.
        const QString ours = CopyDatabase(generated);
        const QString theirs = CopyDatabase(generated);
        const QString windowCopy = CopyDatabase(generated);
        size = QFileInfo(ours).size() / 1048576.0;

        // The server's tools doing what the program does: backup, the four scripts each in one transaction,
        // backup without garbage collection, a restore of it into a scratch database that is then opened and
        // dropped, and the restore with replace; all through the service manager.
        QElapsedTimer t;
        t.start();
        Run("gbak", QStringList{"-b", "-v"} + auth + QStringList{theirs, theirs + ".1.fbk"});
        for (int v = 2; v <= 5; ++v) {
            const QString script = "SET AUTODDL OFF;\n" + UpgradeScript(v).join('\n') + "\nCOMMIT;\n";
            Run("isql-fb", {"-q", "-user", "SYSDBA", "-password", kPassword, "-ch", "WIN1252", kHost + ":" + theirs},
                script.toLatin1());
        }
        Run("gbak", QStringList{"-b", "-g", "-v"} + auth + QStringList{theirs, theirs + ".2.fbk"});
        const QString scratch = theirs + ".verificacao.fdb";
        QElapsedTimer verification;
        verification.start();
        Run("gbak", QStringList{"-c", "-v"} + auth + QStringList{theirs + ".2.fbk", scratch});
        Run("isql-fb", {"-q", "-user", "SYSDBA", "-password", kPassword, kHost + ":" + scratch}, "DROP DATABASE;\n");
        const double verificationSeconds = verification.elapsed() / 1000.0;
        Run("gbak", QStringList{"-rep", "-v"} + auth + QStringList{theirs + ".2.fbk", theirs});
        const double toolSeconds = t.elapsed() / 1000.0;

        QProcess child;
        child.start(g_self, {QStringLiteral("whole-child"), ours});
        child.waitForFinished(-1);
        const QStringList out = QString::fromUtf8(child.readAllStandardOutput()).split(' ');
        if (child.exitCode() != 0 || out.size() < 3) {
            std::fprintf(stderr, "run failed: %s\n", child.readAllStandardError().constData());
            std::exit(1);
        }
        const double programSeconds = out[0].toDouble();
        program << programSeconds;
        tools << toolSeconds;
        unverified << toolSeconds - verificationSeconds;
        ratio << programSeconds / toolSeconds;
        ratioUnverified << programSeconds / (toolSeconds - verificationSeconds);
        rss << out[1].toDouble() / 1024.0;
        for (const QString& f : QDir(Folder()).entryList({"*.fbk"}))
            QFile::remove(Folder() + "/" + f);
        QFile::remove(ours);
        QFile::remove(theirs);

        // The same run through the window, on a copy of its own.
        QProcess window;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!env.contains("QT_QPA_PLATFORM"))
            env.insert("QT_QPA_PLATFORM", "offscreen");
        window.setProcessEnvironment(env);
        window.start(g_self, {QStringLiteral("window-child"), windowCopy});
        window.waitForFinished(-1);
        const QStringList w = QString::fromUtf8(window.readAllStandardOutput()).split(' ');
        if (window.exitCode() != 0 || w.size() < 3) {
            std::fprintf(stderr, "window run failed: %s\n", window.readAllStandardError().constData());
            std::exit(1);
        }
        windowSeconds << w[0].toDouble();
        gap << w[1].toDouble();
        for (const QString& f : QDir(Folder()).entryList({"*.fbk"}))
            QFile::remove(Folder() + "/" + f);
        QFile::remove(windowCopy);
    }
    QFile::remove(generated);
    rows << Row{QStringLiteral("Whole run, %1 MB database").arg(size, 0, 'f', 0),
                QStringLiteral("%1 s, peak RSS %2 MB").arg(Show(Of(program), 2), Show(Of(rss), 1)),
                QStringLiteral("gbak + isql %1 s").arg(Show(Of(tools), 2)), Show(Of(ratio), 3),
                QStringLiteral("≤ 1.0")};
    rows << Row{QStringLiteral("Whole run, %1 MB database, beside the sequence without the verification").arg(size, 0, 'f', 0),
                QStringLiteral("%1 s").arg(Show(Of(program), 2)),
                QStringLiteral("gbak + isql %1 s").arg(Show(Of(unverified), 2)), Show(Of(ratioUnverified), 3), ""};
    rows << Row{QStringLiteral("Window's event loop during the whole run, %1 MB database").arg(size, 0, 'f', 0),
                QStringLiteral("%1 s, longest gap %2 ms").arg(Show(Of(windowSeconds), 2), Show(Of(gap), 0)), "",
                QStringLiteral("%1 ms").arg(Show(Of(gap), 0)), QStringLiteral("≤ 100 ms")};
}

Row RunnerVsIsql() {
    QStringList lines;
    for (int i = 0; i < 10000; ++i) {
        lines << QStringLiteral("INSERT INTO T (ID, NOME, N) VALUES (%1, 'nome %1', %1);").arg(i);
        lines << QStringLiteral("UPDATE T SET N = N + 1 WHERE ID = %1;").arg(i);
    }
    const QString table = QStringLiteral("CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, NOME VARCHAR(40), N INTEGER);");
    QVector<double> ours, isql, isqlCount, ratio, ratioCount;
    for (int run = 0; run < kRuns; ++run) {
        const auto timeIsql = [&](const QString& head) {
            const QString copy = NewDatabasePath(QStringLiteral("runner-isql"));
            CreateDatabase(copy, table);
            const double seconds = Run("isql-fb", {"-q", "-user", "SYSDBA", "-password", kPassword, kHost + ":" + copy},
                                       (head + lines.join('\n') + "\nCOMMIT;\n").toLatin1());
            QFile::remove(copy);
            return seconds;
        };
        // Without counts isql asks nothing after a statement; with SET COUNT ON it asks for the rows of each,
        // as the runner does for its "N rows processed" lines.
        const double plain = timeIsql(QString());
        const double counting = timeIsql(QStringLiteral("SET COUNT ON;\n"));

        const QString path = NewDatabasePath(QStringLiteral("runner"));
        CreateDatabase(path, table);
        DatabaseConnection c(QStringLiteral("bench"), StoredConnectionSettings());
        c.SetParam(QStringLiteral("Database"), path);
        ScriptRunner runner(QStringLiteral("bench"), &c);
        QStringList console;
        runner.OnConsolePut = [&](ScriptRunner&, const QString& m, ConsoleKind) { console << m; };
        runner.SQLScripts = {{QString(), lines}};
        QElapsedTimer t;
        t.start();
        c.Open();
        c.StartTransaction();
        runner.ExecuteAll();
        c.Commit();
        c.Close();
        const double seconds = t.elapsed() / 1000.0;
        if (runner.TotalErrors() != 0 || console.size() != 40000) {
            std::fprintf(stderr, "runner: %d errors, %lld messages\n", runner.TotalErrors(),
                         static_cast<long long>(console.size()));
            std::exit(1);
        }
        QFile::remove(path);
        ours << seconds;
        isql << plain;
        isqlCount << counting;
        ratio << seconds / plain;
        ratioCount << seconds / counting;
    }
    return {QStringLiteral("Script runner, 20,000 statements"), QStringLiteral("%1 s").arg(Show(Of(ours), 2)),
            QStringLiteral("isql -i %1 s; with SET COUNT ON %2 s").arg(Show(Of(isql), 2), Show(Of(isqlCount), 2)),
            QStringLiteral("%1; %2").arg(Show(Of(ratio), 3), Show(Of(ratioCount), 3)), QStringLiteral("≤ 1.0")};
}

Row ParserThroughput() {
    QStringList lines;
    qsizetype bytes = 0;
    int n = 0;
    lines << "SET TERM ^ ;";
    const qsizetype target = qEnvironmentVariableIntValue("ABD_BENCH_PARSER_MB") > 0
                                 ? qEnvironmentVariableIntValue("ABD_BENCH_PARSER_MB") * 1048576LL
                                 : 50 * 1048576LL;
    while (bytes < target) {
        const QStringList block{
            QStringLiteral("/* procedure %1; with a comment */").arg(n),
            QStringLiteral("CREATE OR ALTER PROCEDURE P%1 (A INTEGER) RETURNS (B VARCHAR(40)) AS").arg(n),
            QStringLiteral("BEGIN"),
            QStringLiteral("  -- a line comment; with a terminator ^ inside"),
            QStringLiteral("  B = 'quoted; text ^ ''with'' quotes';"),
            QStringLiteral("  SUSPEND;"),
            QStringLiteral("END^"),
            QStringLiteral("INSERT INTO T (ID, NOME) VALUES (%1, 'nome; %1')^").arg(n)};
        for (const QString& l : block)
            bytes += l.size() + 2;
        lines << block;
        ++n;
    }
    const double mb = bytes / 1048576.0;
    QVector<double> seconds, throughput;
    for (int run = 0; run < kRuns; ++run) {
        ScriptRunner runner;
        runner.Options.UpdateActualSeparator();
        QElapsedTimer t;
        t.start();
        ScriptParser parser(lines, runner.Options);
        int commands = 0;
        while (auto c = parser.ExtractCommand(runner)) {
            c->Validate();
            ++commands;
        }
        seconds << t.elapsed() / 1000.0;
        throughput << mb / seconds.back();
        if (commands != 2 * n + 1)
            std::fprintf(stderr, "parser: %d commands for %d blocks\n", commands, n);
    }
    return {QStringLiteral("Parser, %1 MB script").arg(mb, 0, 'f', 0), QStringLiteral("%1 s").arg(Show(Of(seconds), 2)),
            "", QStringLiteral("%1 MB/s").arg(Show(Of(throughput), 0)), QStringLiteral("≥ 100 MB/s")};
}

Row PaneLines(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    Aplicacao app(argc, argv);
    QVector<double> seconds;
    for (int run = 0; run < kRuns; ++run) {
        TfPrincipal w;
        w.show();
        (void)QTest::qWaitForWindowExposed(&w);
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 100000; ++i)
            w.ConsolePut(QStringLiteral("UPDATE T SET N = N + 1 WHERE ID = %1; 1 row processed [00:00:00.000].").arg(i));
        app.processEvents();
        seconds << t.elapsed() / 1000.0;
    }
    return {QStringLiteral("SQL pane, 100,000 console lines"), QStringLiteral("%1 s").arg(Show(Of(seconds), 2)), "",
            QStringLiteral("%1 s").arg(Show(Of(seconds), 2)), QStringLiteral("≤ 3 s")};
}

/// Child process: from the process's start to the main window shown, and the memory then.
int StartupChild(int argc, char** argv) {
    Aplicacao app(argc, argv);
    TfPrincipal w;
    w.show();
    (void)QTest::qWaitForWindowExposed(&w);
    app.processEvents();
    // Time since the process started, from /proc.
    QFile stat(QStringLiteral("/proc/self/stat"));
    stat.open(QIODevice::ReadOnly);
    const QList<QByteArray> fields = stat.readAll().split(')').last().trimmed().split(' ');
    const double startTicks = fields.value(19).toDouble();
    QFile uptime(QStringLiteral("/proc/uptime"));
    uptime.open(QIODevice::ReadOnly);
    const double now = uptime.readAll().split(' ').first().toDouble();
    const double elapsed = now - startTicks / sysconf(_SC_CLK_TCK);
    std::printf("%.3f %ld\n", elapsed, StatusKb("VmRSS:"));
    return 0;
}

Row Startup() {
    QVector<double> ms, rss;
    for (int i = 0; i < kRuns; ++i) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!env.contains("QT_QPA_PLATFORM"))
            env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        p.start(g_self, {QStringLiteral("startup-child")});
        p.waitForFinished(-1);
        const QStringList out = QString::fromUtf8(p.readAllStandardOutput()).split(' ');
        ms << out.value(0).toDouble() * 1000;
        rss << out.value(1).toDouble() / 1024.0;
    }
    return {QStringLiteral("Start-up to the main window shown"),
            QStringLiteral("%1 ms, RSS %2 MB").arg(Show(Of(ms), 0), Show(Of(rss), 1)), "",
            QStringLiteral("%1 ms / %2 MB").arg(Of(ms).median, 0, 'f', 0).arg(Of(rss).median, 0, 'f', 1),
            QStringLiteral("≤ 300 ms, ≤ 60 MB")};
}

} // namespace

int main(int argc, char** argv) {
    g_self = QString::fromLocal8Bit(argv[0]);
    const QString what = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("all");
    if (what == "whole-child") {
        QCoreApplication app(argc, argv);
        return WholeRunChild(QString::fromLocal8Bit(argv[2]));
    }
    if (what == "startup-child")
        return StartupChild(argc, argv);
    if (what == "window-child")
        return WindowRunChild(argc, argv, QString::fromLocal8Bit(argv[2]));
    if (what == "pane") {
        Print({PaneLines(argc, argv)});
        return 0;
    }
    QCoreApplication app(argc, argv);
    QList<int> sizes{10, 300};
    if (what == "whole" && argc > 2)
        sizes = {QString::fromLocal8Bit(argv[2]).toInt()};
    for (int i = 1; i + 1 < argc; ++i)
        if (QString::fromLocal8Bit(argv[i]) == "--sizes") {
            sizes.clear();
            for (const QString& s : QString::fromLocal8Bit(argv[i + 1]).split(','))
                sizes << s.toInt();
        }
    QList<Row> rows;
    if (what == "all" || what == "parser")
        rows << ParserThroughput();
    if (what == "all" || what == "runner")
        rows << RunnerVsIsql();
    if (what == "all" || what == "startup")
        rows << Startup();
    if (what == "all" || what == "whole")
        for (int mb : sizes)
            WholeRun(mb, rows);
    Print(rows);
    if (what == "all") {
        // The pane figure needs a GUI application of its own.
        QProcess p;
        p.start(g_self, {QStringLiteral("pane")});
        p.waitForFinished(-1);
        const QStringList out = QString::fromUtf8(p.readAllStandardOutput()).split('\n');
        std::printf("%s\n", qPrintable(out.value(2)));
    }
    return 0;
}
