// How the script runner compares with isql on scripts of your own (a report, not a test):
//   script-parity <folder> [--one-transaction]
// Each *.sql file of the folder runs once through isql and once through the runner, each on a fresh database of
// the local server, while a trace session records the statements the server prepared for each. The report
// lists, per script, whether both sent the same statements (line-break style, leading blanks and comments, and
// a statement prepared twice in a row are not differences) and how many failures each reported; then the
// share of identical scripts, over all and over those that isql accepts.
// By default the runner commits each definition as isql does (SET AUTODDL ON); --one-transaction runs each
// script in one transaction, as the upgrade steps run theirs.
#include "firebird/ConnectionSettings.h"
#include "firebird/DatabaseConnection.h"
#include "firebird/Errors.h"
#include "script/ScriptRunner.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <QUuid>
#include <cstdio>
#include <pwd.h>
#include <unistd.h>

using namespace abd;

namespace {

const QString kHost = QStringLiteral("127.0.0.1");
const QString kPassword = QStringLiteral("pomelarix");
const QString kFolder = QStringLiteral("/tmp/abd-parity");

[[noreturn]] void Fail(const QString& text) {
    std::fprintf(stderr, "script-parity: %s\n", qPrintable(text));
    std::exit(1);
}

QStringList Service() {
    return {"-se", kHost + ":service_mgr", "-user", "SYSDBA", "-password", kPassword};
}

void CreateDatabase(const QString& path) {
    QProcess p;
    p.start("isql-fb", {"-q", "-user", "SYSDBA", "-password", kPassword});
    p.waitForStarted();
    p.write(QStringLiteral("CREATE DATABASE '%1:%2' PAGE_SIZE 8192 DEFAULT CHARACTER SET UTF8;\nCOMMIT;\n")
                .arg(kHost, path)
                .toUtf8());
    p.closeWriteChannel();
    p.waitForFinished(-1);
    if (p.exitCode() != 0)
        Fail("cannot create " + path + ": " + QString::fromUtf8(p.readAllStandardError()));
}

/// A statement as it is compared: line breaks as LF, without leading blanks and comments or trailing blanks.
QString Normalized(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    for (;;) {
        const QString before = text;
        text = text.trimmed();
        if (text.startsWith(QStringLiteral("--"))) {
            const qsizetype end = text.indexOf(QLatin1Char('\n'));
            text = end < 0 ? QString() : text.mid(end + 1);
        } else if (text.startsWith(QStringLiteral("/*"))) {
            const qsizetype end = text.indexOf(QStringLiteral("*/"));
            text = end < 0 ? QString() : text.mid(end + 2);
        }
        if (text == before)
            return text;
    }
}

/// Blanks and line breaks of any kind and length as one blank, to find a statement in its script.
QString Collapsed(const QString& text) { return text.simplified(); }

/// The statements the trace saw prepared for one database, in order; only those that stand in the script
/// (isql's own queries, such as those of SHOW, are not the script's).
QStringList Prepared(const QString& trace, const QString& database, const QString& script) {
    const QString inScript = Collapsed(script);
    QStringList out;
    const QStringList events = trace.split(QRegularExpression(QStringLiteral("\n(?=\\d{4}-\\d\\d-\\d\\dT)")));
    for (const QString& e : events) {
        if (!e.contains(QStringLiteral("PREPARE_STATEMENT")) || !e.contains(database))
            continue;
        const qsizetype rule = e.indexOf(QStringLiteral("\n-------------------------------------------------------------------------------\n"));
        if (rule < 0)
            continue;
        QString text = e.mid(rule + 81);
        // The event ends with the time the prepare took.
        text.remove(QRegularExpression(QStringLiteral("\n\\s+\\d+ ms\\s*$")));
        const QString statement = Normalized(text);
        if (!statement.isEmpty() && (out.isEmpty() || out.last() != statement) &&
            inScript.contains(Collapsed(statement), Qt::CaseInsensitive))
            out << statement;
    }
    return out;
}

struct Outcome {
    QStringList isql;
    QStringList runner;
    int isqlErrors = 0;
    int runnerErrors = 0;
};

Outcome Compare(const QString& script, bool oneTransaction) {
    QDir().mkpath(kFolder);
    if (const passwd* pw = getpwnam("firebird"))
        if (chown(kFolder.toLocal8Bit().constData(), pw->pw_uid, pw->pw_gid) != 0)
            std::perror("chown");
    const QString id = QUuid::createUuid().toString(QUuid::Id128).left(10);
    // No hyphen in the names: the trace's pattern (SIMILAR TO) refuses one.
    const QString a = kFolder + "/parity" + id + "isql.fdb";
    const QString b = kFolder + "/parity" + id + "runner.fdb";
    CreateDatabase(a);
    CreateDatabase(b);

    const QString config = kFolder + "/trace-" + id + ".conf";
    QFile conf(config);
    conf.open(QIODevice::WriteOnly);
    conf.write(QStringLiteral("database = %[\\\\/]parity%1%\n{\n\tenabled = true\n\tlog_statement_prepare = true\n"
                              "\tmax_sql_length = 65000\n\ttime_threshold = 0\n}\n")
                   .arg(id)
                   .toUtf8());
    conf.close();
    QProcess trace;
    trace.setProcessChannelMode(QProcess::MergedChannels);
    trace.start("fbtracemgr", Service() + QStringList{"-start", "-name", "parity-" + id, "-config", config});
    QString traced;
    QRegularExpressionMatch started;
    QElapsedTimer waited;
    waited.start();
    while (!(started = QRegularExpression(QStringLiteral("Trace session ID (\\d+) started")).match(traced)).hasMatch()) {
        if (waited.elapsed() > 20000)
            Fail("the trace session did not start: " + traced);
        trace.waitForReadyRead(100);
        traced += QString::fromUtf8(trace.readAll());
    }

    Outcome o;
    QProcess isql;
    isql.start("isql-fb", {"-q", "-user", "SYSDBA", "-password", kPassword, "-ch", "UTF8", "-i", script, kHost + ":" + a});
    isql.waitForFinished(-1);
    // isql refuses a last statement without a terminator with a message of its own.
    const QString isqlErrors = QString::fromUtf8(isql.readAllStandardError());
    o.isqlErrors = isqlErrors.count(QStringLiteral("Statement failed")) +
                   isqlErrors.count(QStringLiteral("Expected end of statement"));

    ConnectionSettings settings({"Database=" + b, "User_Name=SYSDBA", "Password=" + kPassword, "CharacterSet=UTF8",
                                 "Protocol=TCPIP", "Port=3050", "DriverID=FB", "Server=" + kHost});
    {
        DatabaseConnection c(QStringLiteral("parity"), settings);
        ScriptRunner runner(QStringLiteral("parity"), &c);
        runner.Options.AutoDDL = !oneTransaction;
        runner.SQLScripts = {ReadScriptFile(script)};
        try {
            c.StartTransaction();
            runner.ExecuteAll();
            if (c.InTransaction())
                c.Commit();
        } catch (const std::exception& e) {
            ++o.runnerErrors;
            std::fprintf(stderr, "%s: %s\n", qPrintable(QFileInfo(script).fileName()), e.what());
        }
        o.runnerErrors += runner.TotalErrors();
        try {
            if (c.InTransaction())
                c.Rollback();
            c.Close();
        } catch (const std::exception&) {
        }
    }

    QThread::msleep(500); // the last events reach the session
    QProcess stop;
    stop.start("fbtracemgr", Service() + QStringList{"-stop", "-id", started.captured(1)});
    stop.waitForFinished(20000);
    trace.waitForFinished(20000);
    traced += QString::fromUtf8(trace.readAll());
    const QString text = ReadScriptFile(script).Text;
    o.isql = Prepared(traced, a, text);
    o.runner = Prepared(traced, b, text);
    QFile::remove(a);
    QFile::remove(b);
    QFile::remove(config);
    return o;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const bool oneTransaction = args.contains(QStringLiteral("--one-transaction"));
    const QStringList folders = QStringList(args).filter(QRegularExpression(QStringLiteral("^[^-]")));
    if (folders.size() != 1)
        Fail("usage: script-parity <folder> [--one-transaction]");
    const QDir folder(folders.first());
    const QStringList scripts = folder.entryList({"*.sql"}, QDir::Files, QDir::Name);
    if (scripts.isEmpty())
        Fail("no *.sql in " + folder.absolutePath());

    int same = 0, accepted = 0, sameAccepted = 0, extraFailures = 0;
    std::printf("| Script | isql statements | Runner statements | Same | isql failures | Runner failures |\n"
                "|---|---|---|---|---|---|\n");
    for (const QString& name : scripts) {
        const Outcome o = Compare(folder.filePath(name), oneTransaction);
        const bool equal = o.isql == o.runner;
        same += equal;
        if (o.isqlErrors == 0) {
            ++accepted;
            sameAccepted += equal;
        }
        extraFailures += o.runnerErrors != o.isqlErrors;
        std::printf("| %s | %lld | %lld | %s | %d | %d |\n", qPrintable(name), static_cast<long long>(o.isql.size()),
                    static_cast<long long>(o.runner.size()), equal ? "yes" : "no", o.isqlErrors, o.runnerErrors);
        if (!equal)
            for (qsizetype i = 0; i < std::max(o.isql.size(), o.runner.size()); ++i)
                if (o.isql.value(i) != o.runner.value(i)) {
                    std::fprintf(stderr, "%s, statement %lld:\n  isql:   %s\n  runner: %s\n", qPrintable(name),
                                 static_cast<long long>(i + 1), qPrintable(o.isql.value(i).left(200)),
                                 qPrintable(o.runner.value(i).left(200)));
                    break;
                }
        std::fflush(stdout);
    }
    std::printf("\nIdentical statements: %d of %lld scripts; %d of the %d that isql accepts (%.0f%%). "
                "Failure counts differ in %d.\n",
                same, static_cast<long long>(scripts.size()), sameAccepted, accepted,
                accepted ? 100.0 * sameAccepted / accepted : 0.0, extraFailures);
    return 0;
}
