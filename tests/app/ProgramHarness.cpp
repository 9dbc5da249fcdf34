// The program itself, driven as a person would drive it, for the tests that end it from outside with signals:
//   ProgramHarness <server> <database> <password> <backup 0|1> <compactar 0|1> <pane|-> <prefix> <hold-ms>
// It clicks the update button, fills the login, closes every box, and says on standard output what it sees:
// "MARK" when the run writes a line into <pane> that starts with <prefix>, "IDLE" when a run has ended, "BOX
// <text>" for each box. With a <hold-ms> above 0 the run, at that line, waits until the program has been asked
// to end (10 s at most) and then <hold-ms> more, so that a test's signals land while the run is at that point;
// with a <hold-ms> below 0 it waits that long there whatever happens, so that a test can change the network
// meanwhile.
#include "app/Program.h"
#include "app/TfLogin.h"
#include "app/TfPrincipal.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <cstdio>

using namespace abd;

namespace {
void Say(const QString& text) {
    std::printf("%s\n", text.toUtf8().constData());
    std::fflush(stdout);
}

Pane PaneNamed(const QString& name) {
    if (name == QLatin1String("backup"))
        return Pane::Backup;
    if (name == QLatin1String("compactar"))
        return Pane::Compactar;
    if (name == QLatin1String("atualizar"))
        return Pane::Atualizar;
    return Pane::Sql;
}
} // namespace

int main(int argc, char** argv) {
    if (argc < 9) {
        std::fprintf(stderr, "usage: %s server database password backup compactar pane prefix hold-ms\n", argv[0]);
        return 2;
    }
    const LoginValues login{QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]), QStringLiteral("SYSDBA"),
                            QString::fromLocal8Bit(argv[3])};
    const bool backup = QByteArray(argv[4]) == "1";
    const bool compactar = QByteArray(argv[5]) == "1";
    const QString paneName = QString::fromLocal8Bit(argv[6]);
    const QString prefix = QString::fromLocal8Bit(argv[7]);
    const int holdMs = QByteArray(argv[8]).toInt();

    return RunProgram(argc, argv, [&](TfPrincipal& w) {
        w.miBackup->setChecked(backup);
        w.miCompactar->setChecked(compactar);
        if (paneName != QLatin1String("-")) {
            auto marked = std::make_shared<std::atomic<bool>>(false);
            w.Session().SetLineTap([=, &w](Pane pane, const QString& line) {
                if (pane == PaneNamed(paneName) && line.startsWith(prefix) && !marked->exchange(true)) {
                    Say(QStringLiteral("MARK"));
                    if (holdMs < 0) {
                        QThread::msleep(static_cast<unsigned long>(-holdMs));
                        return;
                    }
                    if (holdMs == 0)
                        return;
                    for (int waited = 0; !w.Session().StopRequested() && waited < 10000; waited += 10)
                        QThread::msleep(10);
                    QThread::msleep(static_cast<unsigned long>(holdMs));
                }
            });
        }
        auto* poll = new QTimer(&w);
        auto wasActive = std::make_shared<bool>(false);
        QObject::connect(poll, &QTimer::timeout, &w, [&w, login, wasActive] {
            if (w.RunActive())
                *wasActive = true;
            else if (*wasActive) {
                *wasActive = false;
                Say(QStringLiteral("IDLE"));
            }
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* d = qobject_cast<TfLogin*>(modal)) {
                d->eServidor->setText(login.Servidor);
                d->eBancoDados->setText(login.BancoDados);
                d->eUsuario->setText(login.Usuario);
                d->eSenha->setText(login.Senha);
                d->bOK->click();
            } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                Say(QStringLiteral("BOX ") + box->text().replace(QLatin1Char('\n'), QLatin1Char(' ')));
                box->buttons().first()->click();
            }
        });
        poll->start(10);
        QTimer::singleShot(0, w.bAtualizar, &QPushButton::click);
    });
}
