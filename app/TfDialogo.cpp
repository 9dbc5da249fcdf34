#include "app/TfDialogo.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace abd {

TfDialogo::TfDialogo(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      TfBase(this), bOK(new QPushButton(QStringLiteral("OK"), this)),
      bCancelar(new QPushButton(QStringLiteral("Cancelar"), this)) {
    setWindowTitle(QStringLiteral("Dialogo"));
    setModal(true);
    bOK->setObjectName(QStringLiteral("bOK"));
    bCancelar->setObjectName(QStringLiteral("bCancelar"));
    bOK->setDefault(true);
    bCancelar->setAutoDefault(false);
    connect(bOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(bCancelar, &QPushButton::clicked, this, &QDialog::reject);
    setTabOrder(bCancelar, bOK);
}

void TfDialogo::SetContent(QLayout* content) {
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(bOK);
    buttons->addWidget(bCancelar);
    auto* all = new QVBoxLayout(this);
    all->addLayout(content);
    all->addLayout(buttons);
    all->setSizeConstraint(QLayout::SetFixedSize);
}

bool TfDialogo::PreviewKey(QWidget* control, const QKeyEvent& key) {
    if (key.key() != Qt::Key_Return && key.key() != Qt::Key_Enter)
        return TfBase::PreviewKey(control, key);
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        if (button->isEnabled())
            button->click();
        return true;
    }
    // The default button takes Enter before the key-down handler sees it; modifier keys make no difference
    // (the dialog's own handling would pass a modified Enter over).
    if (bOK->isEnabled() && bOK->isVisible()) {
        bOK->click();
        return true;
    }
    return TfBase::PreviewKey(control, key);
}

void TfDialogo::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    CenterOnScreen();
}

} // namespace abd
