#pragma once

#include "app/TfBase.h"

#include <QDialog>

class QPushButton;

namespace abd {

/// The base of modal dialogs: a fixed border and the buttons OK (default) and Cancelar (Escape).
class TfDialogo : public QDialog, public TfBase {
    Q_OBJECT
public:
    explicit TfDialogo(QWidget* parent = nullptr);

    QPushButton* bOK;
    QPushButton* bCancelar;

protected:
    /// Puts the content above the buttons and fixes the size.
    void SetContent(QLayout* content);
    /// Enter, with or without modifier keys: on a button it presses that button; elsewhere the enabled OK
    /// button takes it, and with OK disabled the key-down handler moves the focus on.
    bool PreviewKey(QWidget* control, const QKeyEvent& key) override;
    void showEvent(QShowEvent* event) override;
};

} // namespace abd
