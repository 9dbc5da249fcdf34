#include "app/Application.h"
#include "app/TfLogin.h"
#include "app/TfPrincipal.h"
#include "firebird/Failure.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QtTest>

using namespace abd;

namespace {
/// Runs `check` on the next modal widget that appears, then closes it.
void OnNextModal(const std::function<void(QWidget*)>& check) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, check] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            check(w);
        }
    });
    timer->start(20);
}

void SendKey(QWidget* w, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) { QTest::keyClick(w, key, mods); }
} // namespace

class TestWindows : public QObject {
    Q_OBJECT
private slots:
    void mainWindowAtStart() {
        TfPrincipal w;
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QCOMPARE(w.windowTitle(), QStringLiteral("Atualizar Banco Dados"));
        const QStringList lines = w.mAtualizar->Text().split('\n');
        QCOMPARE(lines.size(), 7);
        QCOMPARE(lines[0], QStringLiteral("1. Atualizar banco de dados para versão 5;"));
        QCOMPARE(lines[5], QStringLiteral("6. Clique no botão atualizar somente após executar os itens acima (usuário sysdba); "));
        QCOMPARE(lines[6], QStringLiteral("7. Compactar o banco de dados (Arquivo, Banco Dados, Ferramentas, Compactar)."));
        QCOMPARE(w.mBackup->Text(), QStringLiteral("Backup versão anterior."));
        QCOMPARE(w.mCompactar->Text(), QStringLiteral("Compactar: Backup Versão Atual e Restaurar"));
        QCOMPARE(w.mSQL->Text(), QStringLiteral("SQL: Atualizado"));
        QVERIFY(w.StatusBar1->currentMessage().isEmpty());
        QVERIFY(w.miBackup->isChecked() && w.miCompactar->isChecked());
        // The two check items, then, apart, the rehearsal.
        const QList<QAction*> menu = w.pmBase->actions();
        QCOMPARE(menu.size(), 4);
        QCOMPARE(menu.mid(0, 2), (QList<QAction*>{w.miBackup, w.miCompactar}));
        QVERIFY(menu[2]->isSeparator());
        QCOMPARE(menu[3], w.miEnsaiar);
        QVERIFY(!w.miEnsaiar->isCheckable());
        QCOMPARE(w.alBase, (QList<QAction*>{w.aBackup, w.aCompactar, w.aAtualizar}));
        QCOMPARE(w.bAtualizar->text(), QStringLiteral("&Atualizar"));
        QCOMPARE(w.aBackup->toolTip(), QStringLiteral("Backup"));
        QCOMPARE(QApplication::focusWidget(), w.bAtualizar);
        for (QPlainTextEdit* p : {w.mAtualizar, w.mBackup, w.mCompactar, w.mSQL}) {
            QVERIFY(p->isReadOnly());
            QCOMPARE(p->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        }
        // Tab order: mAtualizar, mBackup, bAtualizar, mCompactar, mSQL.
        w.mAtualizar->setFocus();
        for (QWidget* expected : std::initializer_list<QWidget*>{w.mBackup, w.bAtualizar, w.mCompactar, w.mSQL}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), expected);
        }

        // Choosing a menu item toggles its mark and nothing else.
        w.miBackup->trigger();
        QVERIFY(!w.miBackup->isChecked());
        QVERIFY(w.miCompactar->isChecked());
    }

    void callbacksAppendLines() {
        TfPrincipal w;
        w.ConsolePut("primeira");
        w.ConsolePut("segunda\r\nlinha");
        QCOMPARE(w.mSQL->Text(), QStringLiteral("SQL: Atualizado\nprimeira\nsegunda\nlinha"));
        QCOMPARE(w.StatusBar1->currentMessage(), QStringLiteral("segunda\r\nlinha"));
        w.ConsolePut(QString());
        QCOMPARE(w.mSQL->Text(), QStringLiteral("SQL: Atualizado\nprimeira\nsegunda\nlinha\n"));
        // An echo ends with the CR after its terminator: still one line, whether or not more lines follow in
        // the same burst; a CR inside a text breaks the line as the text engine does.
        w.ConsolePut("UPDATE T SET N = 1;\r");
        QCOMPARE(w.mSQL->Text(), QStringLiteral("SQL: Atualizado\nprimeira\nsegunda\nlinha\n\nUPDATE T SET N = 1;"));
        w.ConsolePut("a\rb");
        QTest::qWait(LogPane::kPaintIntervalMs + 5);
        w.ConsolePut("fim");
        QVERIFY(w.mSQL->Text().endsWith("UPDATE T SET N = 1;\na\nb\nfim"));
        w.ProgressBackup("gbak: x ");
        w.ProgressBackup(QString());
        QCOMPARE(w.mBackup->Text(), QStringLiteral("Backup versão anterior.\ngbak: x \n"));
        w.ProgressCompactar("c");
        QCOMPARE(w.mCompactar->Text(), QStringLiteral("Compactar: Backup Versão Atual e Restaurar\nc"));
    }

    void panesPaintBurstsTogether() {
        TfPrincipal w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        struct PaintCounter : QObject {
            int paints = 0;
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::Paint)
                    ++paints;
                return false;
            }
        } counter;
        w.mSQL->viewport()->installEventFilter(&counter);
        // No event loop runs between these lines. After a quiet moment a line is painted before the callback
        // returns; the lines of a burst are painted together once the event loop runs again.
        QTest::qWait(LogPane::kPaintIntervalMs + 5);
        w.ConsolePut("uma linha");
        QCOMPARE(counter.paints, 1);
        for (int i = 0; i < 50; ++i)
            w.ConsolePut(QStringLiteral("linha %1").arg(i));
        QVERIFY(counter.paints < 50);
        const int before = counter.paints;
        QTRY_VERIFY(w.mSQL->toPlainText().endsWith("linha 49")); // in the document itself, not only in a buffer
        QVERIFY(counter.paints > before);
    }

    void errorBoxText_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << "Erro Restaurar" << "Erro Restaurar.";
        QTest::newRow("paren") << "Não é possível converter tipo de variant (Null) em tipo (Integer)"
                               << "Não é possível converter tipo de variant (Null) em tipo (Integer)";
        QTest::newRow("stop") << "x." << "x.";
    }
    void errorBoxText() {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(ErrorBoxText(std::make_exception_ptr(Failure(message))), shown);
    }

    void errorBoxUsesInnermostMessageAndSilentAbort() {
        std::exception_ptr nested;
        try {
            try {
                throw Failure("interna");
            } catch (...) {
                std::throw_with_nested(Failure("externa"));
            }
        } catch (...) {
            nested = std::current_exception();
        }
        QCOMPARE(ErrorBoxText(nested), QStringLiteral("interna."));
        QVERIFY(ErrorBoxText(std::make_exception_ptr(SilentAbort())).isEmpty());
    }

    void errorBoxFromAHandler() {
        TfPrincipal w;
        w.show();
        QString caption, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        int buttons = 0;
        OnNextModal([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box);
            caption = box->windowTitle();
            text = box->text();
            icon = box->icon();
            buttons = box->buttons().size();
            box->accept();
        });
        RunGuarded([] { throw Failure("Erro Backup"); });
        QCOMPARE(caption, QStringLiteral("Atualizar Banco Dados"));
        QCOMPARE(text, QStringLiteral("Erro Backup."));
        QCOMPARE(icon, QMessageBox::Critical);
        QCOMPARE(buttons, 1);
        QVERIFY(w.isVisible());
    }

    void loginDialogLayout() {
        TfLogin d;
        QCOMPARE(d.windowTitle(), QStringLiteral("Login"));
        QCOMPARE(d.eServidor->maxLength(), 31);
        QCOMPARE(d.eBancoDados->maxLength(), 70);
        QCOMPARE(d.eUsuario->maxLength(), 31);
        QCOMPARE(d.eSenha->maxLength(), 32);
        QCOMPARE(d.eSenha->echoMode(), QLineEdit::Password);
        QVERIFY(d.eServidor->toolTip().startsWith("IP ou nome do servidor. Exemplo: "));
        QVERIFY(d.eServidor->toolTip().contains(", ") && d.eServidor->toolTip().contains(" e "));
        QCOMPARE(d.eBancoDados->toolTip(),
                 QStringLiteral("Apelido ou pasta e nome do banco de dados. Exemplo: tessoral, teste e "
                                "C:\\Arquivos de programas\\Tessoral\\Banco Dados\\Tessoral.fdb"));
        QCOMPARE(d.lServidor->text(), QStringLiteral("Ser&vidor"));
        QCOMPARE(d.lServidor->buddy(), static_cast<QWidget*>(d.eServidor));
        QCOMPARE(d.lUsuario->text(), QStringLiteral("&Usuário"));
        QCOMPARE(d.bOK->text(), QStringLiteral("OK"));
        QCOMPARE(d.bCancelar->text(), QStringLiteral("Cancelar"));
        QVERIFY(!d.bOK->isEnabled()); // four empty fields
        QCOMPARE(d.eSenha->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, d.eSenha), int('*'));
    }

    void loginFocusEnterAndArrows() {
        TfLogin d;
        d.eServidor->setText("127.0.0.1");
        d.eBancoDados->setText("LORTU");
        d.eUsuario->setText("SYSDBA");
        d.show();
        QVERIFY(QTest::qWaitForWindowActive(&d));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(d.eUsuario));
        QVERIFY(!d.bOK->isEnabled());
        // OK disabled: Enter and Down move on, Up moves back, wrapping around at the first field.
        SendKey(d.eUsuario, Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(d.eSenha));
        SendKey(d.eSenha, Qt::Key_Up);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(d.eUsuario));
        SendKey(d.eUsuario, Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(d.eSenha));
        d.eServidor->setFocus();
        SendKey(d.eServidor, Qt::Key_Up);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(d.bCancelar));
        QVERIFY(d.isVisible());
        // A password of one blank enables OK; Enter in a field then confirms.
        d.eSenha->setFocus();
        SendKey(d.eSenha, Qt::Key_Space);
        QVERIFY(d.bOK->isEnabled());
        // A server of blanks alone names no server.
        d.eServidor->setText(QStringLiteral("   "));
        QVERIFY(!d.bOK->isEnabled());
        d.eServidor->setText(QStringLiteral(" 10.0.0.5/3051 "));
        QVERIFY(d.bOK->isEnabled());
        SendKey(d.eSenha, Qt::Key_Return);
        QVERIFY(!d.isVisible());
        QCOMPARE(d.result(), int(QDialog::Accepted));
    }

    void defaultsFilledConfirmOnEnter() {
        TfLogin d;
        d.eServidor->setText("127.0.0.1");
        d.eBancoDados->setText("LORTU");
        d.eUsuario->setText("SYSDBA");
        d.eSenha->setText("pomelarix");
        d.show();
        QVERIFY(QTest::qWaitForWindowActive(&d));
        QVERIFY(d.bOK->isEnabled());
        SendKey(d.eUsuario, Qt::Key_Enter);
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QVERIFY(!d.isVisible());
    }

    void loginEnter_data() {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<bool>("okEnabled");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("result"); // -1: the dialog stays open
        QTest::addColumn<QString>("focusAfter");
        QTest::newRow("on OK") << "bOK" << true << 0 << int(QDialog::Accepted) << "";
        QTest::newRow("on Cancelar, OK enabled") << "bCancelar" << true << 0 << int(QDialog::Rejected) << "";
        QTest::newRow("on Cancelar, OK disabled") << "bCancelar" << false << 0 << int(QDialog::Rejected) << "";
        QTest::newRow("Shift+Enter in a field") << "eUsuario" << true << int(Qt::ShiftModifier)
                                                << int(QDialog::Accepted) << "";
        QTest::newRow("Ctrl+Enter in a field") << "eUsuario" << true << int(Qt::ControlModifier)
                                               << int(QDialog::Accepted) << "";
        QTest::newRow("Shift+Enter, OK disabled") << "eUsuario" << false << int(Qt::ShiftModifier) << -1 << "eSenha";
        QTest::newRow("Enter in the last field, OK disabled") << "eSenha" << false << 0 << -1 << "bCancelar";
    }
    void loginEnter() {
        QFETCH(QString, focus);
        QFETCH(bool, okEnabled);
        QFETCH(int, modifiers);
        QFETCH(int, result);
        QFETCH(QString, focusAfter);
        TfLogin d;
        d.eServidor->setText("127.0.0.1");
        d.eBancoDados->setText(okEnabled ? "LORTU" : "");
        d.eUsuario->setText("SYSDBA");
        d.eSenha->setText("x");
        d.show();
        QVERIFY(QTest::qWaitForWindowActive(&d));
        QCOMPARE(d.bOK->isEnabled(), okEnabled);
        auto* target = d.findChild<QWidget*>(focus);
        target->setFocus();
        QCOMPARE(QApplication::focusWidget(), target);
        SendKey(target, Qt::Key_Return, Qt::KeyboardModifiers(modifiers));
        if (result < 0) {
            QVERIFY(d.isVisible());
            QCOMPARE(QApplication::focusWidget()->objectName(), focusAfter);
        } else {
            QVERIFY(!d.isVisible());
            QCOMPARE(d.result(), result);
        }
    }

    void loginLengthsAndAccelerators() {
        TfLogin d;
        d.show();
        QVERIFY(QTest::qWaitForWindowActive(&d));
        d.eServidor->setFocus();
        QTest::keyClicks(d.eServidor, QString(40, 'a'));
        QCOMPARE(d.eServidor->text().size(), 31);
        QTest::keyClicks(d.eBancoDados, QString(80, 'b'));
        QCOMPARE(d.eBancoDados->text().size(), 70);
        QTest::keyClicks(d.eSenha, QString(40, 'c'));
        QCOMPARE(d.eSenha->text().size(), 32);
        // Non-ASCII characters one by one (keyClicks would abort on them).
        d.eUsuario->setFocus();
        QTest::sendKeyEvent(QTest::Click, d.eUsuario, Qt::Key_unknown, QStringLiteral("ç"), Qt::NoModifier);
        QCOMPARE(d.eUsuario->text(), QStringLiteral("ç"));
        QTest::keyClick(&d, Qt::Key_V, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(d.eServidor));
        QTest::keyClick(&d, Qt::Key_S, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(d.eSenha));
        // Emptying one field disables OK.
        QVERIFY(d.bOK->isEnabled());
        d.eBancoDados->clear();
        QVERIFY(!d.bOK->isEnabled());
    }

    void loginCancelPaths_data() {
        QTest::addColumn<int>("how");
        QTest::newRow("escape") << 0;
        QTest::newRow("cancel button") << 1;
        QTest::newRow("close button") << 2;
    }
    void loginCancelPaths() {
        QFETCH(int, how);
        TfLogin d;
        d.eServidor->setText("a");
        d.eBancoDados->setText("b");
        d.eUsuario->setText("c");
        d.eSenha->setText("d");
        QTimer::singleShot(50, [&] {
            if (how == 0)
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
            else if (how == 1)
                d.bCancelar->click();
            else
                d.close();
        });
        QCOMPARE(d.exec(), int(QDialog::Rejected));
    }

    void enterOnCancelarStartsNoRun() {
        TfPrincipal w;
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        OnNextModal([](QWidget* modal) {
            // From the user field, as a person would: Tab to the password, to OK, to Cancelar; then Enter.
            for (int i = 0; i < 3; ++i)
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(qobject_cast<TfLogin*>(modal)->bCancelar));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        });
        w.bAtualizar->click();
        QVERIFY(!w.RunActive());
        QVERIFY(w.bAtualizar->isVisible());
        QCOMPARE(w.mAtualizar->Text().split('\n').size(), 7);
    }

    void mainWindowHasNoKeyPreview() {
        TfPrincipal w;
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.mBackup->setFocus();
        SendKey(w.mBackup, Qt::Key_Down);
        SendKey(w.mBackup, Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.mBackup));
        QVERIFY(w.bAtualizar->isVisible());
    }
};

QTEST_MAIN(TestWindows)
#include "TestWindows.moc"
