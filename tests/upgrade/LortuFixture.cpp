#include "tests/upgrade/LortuFixture.h"

#include "app/TfLogin.h"
#include "app/TfPrincipal.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QAction>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTextBlock>
#include <QRegularExpression>
#include <QUuid>
#include <QtTest>
#include <memory>
#include <pwd.h>
#include <unistd.h>

namespace abd::test {

QString DemoSql() {
    QFile f(QStringLiteral(ABD_SOURCE_DIR "/demo/lortu-v1.sql"));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("demo SQL not found");
    return QString::fromUtf8(f.readAll());
}

QString IndexThatFailsOnRestore() {
    return QStringLiteral("CREATE TABLE CHAVE (X INTEGER);\nINSERT INTO CHAVE VALUES (1);\nINSERT INTO CHAVE VALUES (2);\n"
                          "COMMIT;\nSET TERM ^;\nCREATE FUNCTION F(A INTEGER) RETURNS INTEGER AS BEGIN RETURN A; END^\n"
                          "SET TERM ;^\nCOMMIT;\nCREATE UNIQUE INDEX IX_CHAVE ON CHAVE COMPUTED BY (F(X));\nCOMMIT;\n"
                          "SET TERM ^;\nALTER FUNCTION F(A INTEGER) RETURNS INTEGER AS BEGIN RETURN 0; END^\n"
                          "SET TERM ;^\nCOMMIT;\n");
}

QString LiveState(const Lortu& l) {
    return l.db.Scalar(QStringLiteral(
        "SELECT (SELECT VERSAO_BANCO_DADOS || COALESCE(EXPURGO, '-') FROM CONFIGURAR) || '/' || "
        "(SELECT COUNT(*) || ':' || COALESCE(SUM(HASH(ID || ',' || COALESCE(HISTORICO_ID, 0) || ',' || "
        "COALESCE(VALOR, 0))), 0) FROM MOVIMENTO) || '/' || "
        "(SELECT COUNT(*) || ':' || SUM(COALESCE(RDB$TRIGGER_INACTIVE, 0)) FROM RDB$TRIGGERS) || '/' || "
        "(SELECT COUNT(*) FROM RDB$RELATIONS) || '/' || (SELECT COUNT(*) FROM RDB$INDICES) || '/' || "
        "(SELECT COUNT(*) FROM RDB$FIELDS) FROM RDB$DATABASE;"));
}

QString SlowDeletes(int milliseconds) {
    return QStringLiteral("SET TERM ^ ;\n"
                          "CREATE TRIGGER TR_MOVIMENTO_LENTO FOR MOVIMENTO BEFORE DELETE AS\n"
                          "DECLARE T0 TIMESTAMP;\n"
                          "BEGIN\n"
                          "  T0 = CAST('NOW' AS TIMESTAMP);\n"
                          "  WHILE (DATEDIFF(MILLISECOND FROM T0 TO CAST('NOW' AS TIMESTAMP)) < %1) DO T0 = T0;\n"
                          "END^\n"
                          "SET TERM ; ^\n")
        .arg(milliseconds);
}

QStringList RecordLines(const QString& fileName) {
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList lines;
    static const QRegularExpression time(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} "));
    for (const QString& line : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        QString l = line;
        if (!time.match(l).hasMatch())
            qFatal("record line without its time: %s", qPrintable(l));
        lines << l.mid(24);
    }
    return lines;
}

QStringList RecordOf(const QStringList& record, const QString& tag) {
    QStringList out;
    const QString prefix = QLatin1Char('[') + tag + QStringLiteral("] ");
    for (const QString& l : record)
        if (l.startsWith(prefix))
            out << l.mid(prefix.size());
    return out;
}

QString BackupFolder(const QString& stem) {
    const QString f = WorkFolder() + QLatin1Char('/') + stem + QLatin1Char('-') +
                      QUuid::createUuid().toString(QUuid::Id128).left(8);
    QDir().mkpath(f);
    if (const passwd* pw = getpwnam("firebird"))
        if (chown(f.toLocal8Bit().constData(), pw->pw_uid, pw->pw_gid) != 0)
            qWarning("chown failed");
    return f + QLatin1Char('/');
}

Lortu::Lortu(const QString& variant, const QString& folder, const QString& stem)
    : backupFolder(folder),
      db(DemoSql() +
             QStringLiteral("\nUPDATE CONFIGURAR SET PASTA_BACKUP = '%1' WHERE ID = 1;\nCOMMIT;\n")
                 .arg(folder) +
             variant,
         stem) {}

Lortu::~Lortu() {
    if (backupFolder.startsWith(WorkFolder()))
        QDir(backupFolder).removeRecursively();
}

QStringList Lortu::BackupFiles() const { return QDir(backupFolder).entryList(QDir::Files, QDir::Name); }

Driver::Driver(const QString& database) {
    login = {QStringLiteral("127.0.0.1"), database, QStringLiteral("SYSDBA"), Password()};
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start(10);
}

void Driver::Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || handled_.contains(QPointer<QWidget>(modal)))
        return;
    handled_ << modal;
    if (auto* d = qobject_cast<TfLogin*>(modal)) {
        if (cancel) {
            d->reject();
            return;
        }
        d->eServidor->setText(login.Servidor);
        d->eBancoDados->setText(login.BancoDados);
        d->eUsuario->setText(login.Usuario);
        d->eSenha->setText(login.Senha);
        d->bOK->click();
    } else if (auto* b = qobject_cast<QMessageBox*>(modal)) {
        boxes << Box{b->windowTitle(), b->text(), b->icon(), b->frameGeometry()};
        b->buttons().first()->click();
    }
}

QStringList Lines(LogPane* pane) { return pane->Text().split('\n'); }

QStringList Added(LogPane* pane, int initial) { return Lines(pane).mid(initial); }

QDateTime Pinned(int n) { return QDateTime(QDate(2024, 1, 31), QTime(14, 5)).addSecs(61 * n); }

void PinClock(TfPrincipal& w) {
    auto calls = std::make_shared<int>(0);
    w.Upgrade().Now = [calls] { return Pinned((*calls)++); };
}

void OnLine(TfPrincipal& w, Pane pane, const QString& prefix, std::function<void()> action) {
    auto done = std::make_shared<bool>(false);
    w.Session().SetLineTap([pane, prefix, action, done](Pane p, const QString& line) {
        if (!*done && p == pane && line.startsWith(prefix)) {
            *done = true;
            action();
        }
    });
}

void OnWindowThread(TfPrincipal& w, const std::function<void()>& action) {
    QMetaObject::invokeMethod(&w, action, Qt::BlockingQueuedConnection);
}

void Prepare(TfPrincipal& w, bool backup, bool compactar) {
    w.show();
    w.miBackup->setChecked(backup);
    w.miCompactar->setChecked(compactar);
    w.Upgrade().sqlcPrincipal.SetReconnectPause(50);
}

void Click(TfPrincipal& w) {
    if (!w.bAtualizar->isVisible())
        qFatal("the update button is gone");
    w.bAtualizar->click();
    // The run goes on its own thread while the window's event loop runs here.
    if (!QTest::qWaitFor([&] { return !w.RunActive(); }, 600000))
        qFatal("the run did not end");
}

QString AllVisibleText(TfPrincipal& w, const QList<Box>& boxes) {
    QString all = w.mAtualizar->Text() + w.mBackup->Text() + w.mCompactar->Text() + w.mSQL->Text() +
                  w.StatusBar1->currentMessage();
    for (const Box& b : boxes)
        all += b.caption + b.text;
    return all;
}

} // namespace abd::test
