#include "app/TfLogin.h"

#include "firebird/ParamBlocks.h"

#include <QAction>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>

namespace abd {

namespace {
/// Masks a password with "*".
class AsteriskStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == QStyle::SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

QLineEdit* MakeEdit(QWidget* parent, const char* name, int maxLength, const QString& hint) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    e->setMaxLength(maxLength);
    e->setToolTip(hint);
    e->setMinimumWidth(280);
    return e;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption, QWidget* buddy) {
    auto* l = new QLabel(caption, parent);
    l->setObjectName(QLatin1String(name));
    l->setBuddy(buddy);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return l;
}
} // namespace

TfLogin::TfLogin(QWidget* parent) : TfDialogo(parent) {
    setWindowTitle(QStringLiteral("Login"));
    eServidor = MakeEdit(this, "eServidor", 31,
                         QStringLiteral("IP ou nome do servidor. Exemplo: 192.168.0.10, servidor e localhost"));
    eBancoDados = MakeEdit(this, "eBancoDados", 70,
                           QStringLiteral("Apelido ou pasta e nome do banco de dados. Exemplo: tessoral, teste e "
                                          "C:\\Arquivos de programas\\Tessoral\\Banco Dados\\Tessoral.fdb"));
    eUsuario = MakeEdit(this, "eUsuario", 31, QString());
    eSenha = MakeEdit(this, "eSenha", 32, QString());
    eSenha->setEchoMode(QLineEdit::Password);
    auto* style = new AsteriskStyle;
    style->setParent(eSenha);
    eSenha->setStyle(style);

    lServidor = MakeLabel(this, "lServidor", QStringLiteral("Ser&vidor"), eServidor);
    lBancoDados = MakeLabel(this, "lBancoDados", QStringLiteral("&Banco Dados"), eBancoDados);
    lUsuario = MakeLabel(this, "lUsuario", QStringLiteral("&Usuário"), eUsuario);
    lSenha = MakeLabel(this, "lSenha", QStringLiteral("&Senha"), eSenha);

    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->addRow(lServidor, eServidor);
    form->addRow(lBancoDados, eBancoDados);
    form->addRow(lUsuario, eUsuario);
    form->addRow(lSenha, eSenha);
    SetContent(form);

    setTabOrder(eServidor, eBancoDados);
    setTabOrder(eBancoDados, eUsuario);
    setTabOrder(eUsuario, eSenha);
    setTabOrder(eSenha, bOK);
    setTabOrder(bOK, bCancelar);

    aOK = new QAction(QStringLiteral("OK"), this);
    aOK->setObjectName(QStringLiteral("aOK"));
    alBase << aOK;
    connect(aOK, &QAction::changed, this, [this] { bOK->setEnabled(aOK->isEnabled()); });
    for (QLineEdit* e : {eServidor, eBancoDados, eUsuario, eSenha})
        connect(e, &QLineEdit::textChanged, this, &TfLogin::aOKUpdate);
    aOKUpdate();
    EnableKeyPreview();
}

void TfLogin::aOKUpdate() {
    // A server of blanks alone names no server; the other fields count any character.
    aOK->setEnabled(!ParseServer(eServidor->text()).Host.isEmpty() && !eBancoDados->text().isEmpty() &&
                    !eUsuario->text().isEmpty() && !eSenha->text().isEmpty());
    bOK->setEnabled(aOK->isEnabled());
}

void TfLogin::showEvent(QShowEvent* event) {
    TfDialogo::showEvent(event);
    aOKUpdate();
    eUsuario->setFocus(Qt::OtherFocusReason);
}

} // namespace abd
