#pragma once

#include "app/TfDialogo.h"

class QAction;
class QLabel;
class QLineEdit;

namespace abd {

/// Asks for server, database, user and password; OK is enabled while all four hold text.
class TfLogin : public TfDialogo {
    Q_OBJECT
public:
    explicit TfLogin(QWidget* parent = nullptr);

    QLabel* lServidor;
    QLabel* lBancoDados;
    QLabel* lUsuario;
    QLabel* lSenha;
    QLineEdit* eServidor;
    QLineEdit* eBancoDados;
    QLineEdit* eUsuario;
    QLineEdit* eSenha;
    QAction* aOK;

    void aOKUpdate();

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace abd
