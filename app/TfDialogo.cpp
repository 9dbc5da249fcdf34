#include "app/TfDialogo.h"

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

bool TfDialogo::KeyTakenByWindow(const QKeyEvent& key) {
    // An enabled default button takes Enter before the key-down handler sees it.
    return (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter) && bOK->isEnabled();
}

void TfDialogo::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    CenterOnScreen();
}

} // namespace abd
