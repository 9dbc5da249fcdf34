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
    bool KeyTakenByWindow(const QKeyEvent& key) override;
    void showEvent(QShowEvent* event) override;
};

} // namespace abd
