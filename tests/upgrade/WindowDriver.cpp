#include "tests/upgrade/WindowDriver.h"

#include "app/TfLogin.h"
#include "app/TfPrincipal.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QtTest>
#include <memory>

namespace abd::test {

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
