#include "app/TfPrincipal.h"

#include "app/TfLogin.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTextCursor>
#include <QVBoxLayout>

namespace abd {

namespace {
LogPane* MakePane(QWidget* parent, const char* name, const QString& initial) {
    auto* pane = new LogPane(initial, parent);
    pane->setObjectName(QLatin1String(name));
    pane->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    pane->setFocusPolicy(Qt::StrongFocus);
    pane->setTabChangesFocus(true);
    pane->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    pane->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette palette = pane->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::ToolTipBase));
    palette.setColor(QPalette::Text, palette.color(QPalette::ToolTipText));
    pane->setPalette(palette);
    return pane;
}

const QStringList kInstructions{
    QStringLiteral("1. Atualizar banco de dados para versão 5;"),
    QStringLiteral("2. Verificar qual a versão atual do banco de dados (Lortu menu Ajuda, Sobre);"),
    QStringLiteral("3. Atualizar somente se a versão anterior for menor que 5;"),
    QStringLiteral("4. Efetuar um backup do banco de dados (Arquivo, Banco Dados, Backup);"),
    QStringLiteral("5. Sair do Lortu todos os usuários;"),
    QStringLiteral("6. Clique no botão atualizar somente após executar os itens acima (usuário sysdba); "),
    QStringLiteral("7. Compactar o banco de dados (Arquivo, Banco Dados, Ferramentas, Compactar).")};
} // namespace

TfPrincipal::TfPrincipal(QWidget* parent) : QMainWindow(parent), TfBase(this) {
    setObjectName(QStringLiteral("fPrincipal"));
    setWindowTitle(AppTitle());

    auto* client = new QWidget(this);
    setCentralWidget(client);
    mAtualizar = MakePane(client, "mAtualizar", kInstructions.join(QLatin1Char('\n')));
    mAtualizar->setFixedHeight(186);
    mBackup = MakePane(client, "mBackup", QStringLiteral("Backup versão anterior."));
    mCompactar = MakePane(client, "mCompactar", QStringLiteral("Compactar: Backup Versão Atual e Restaurar"));
    mSQL = MakePane(client, "mSQL", QStringLiteral("SQL: Atualizado"));

    Splitter = new QSplitter(Qt::Vertical, client);
    Splitter->setHandleWidth(2);
    Splitter->setChildrenCollapsible(false);
    Splitter->addWidget(mBackup);
    Splitter->addWidget(mCompactar);
    Splitter->addWidget(mSQL);
    Splitter->setStretchFactor(0, 0);
    Splitter->setStretchFactor(1, 0);
    Splitter->setStretchFactor(2, 1);
    Splitter->setSizes({65, 65, 400});

    auto* stack = new QVBoxLayout(client);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    stack->addWidget(mAtualizar);
    stack->addWidget(Splitter, 1);

    StatusBar1 = statusBar();
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(true);

    // Commands, in their order.
    aBackup = new QAction(QStringLiteral("Backup"), this);
    aBackup->setToolTip(QStringLiteral("Backup"));
    aCompactar = new QAction(QStringLiteral("Compactar"), this);
    aCompactar->setToolTip(QStringLiteral("Compactar"));
    aAtualizar = new QAction(QStringLiteral("&Atualizar"), this);
    alBase << aBackup << aCompactar << aAtualizar;
    // aBackup and aCompactar are bound to nothing: the run executes their handlers on its own thread.
    connect(aAtualizar, &QAction::triggered, this, [this] { RunGuarded([this] { aAtualizarExecute(); }); });

    bAtualizar = new QPushButton(aAtualizar->text(), client);
    bAtualizar->setObjectName(QStringLiteral("bAtualizar"));
    bAtualizar->setGeometry(539, 153, 75, 25);
    bAtualizar->raise();
    connect(bAtualizar, &QPushButton::clicked, aAtualizar, &QAction::trigger);
    connect(aAtualizar, &QAction::changed, this, [this] {
        bAtualizar->setText(aAtualizar->text());
        bAtualizar->setEnabled(aAtualizar->isEnabled());
        bAtualizar->setVisible(aAtualizar->isVisible());
    });

    // Pop-up menu with its two check items, both checked.
    miBackup = pmBase->addAction(QStringLiteral("Backup"));
    miBackup->setToolTip(QStringLiteral("Backup"));
    miCompactar = pmBase->addAction(QStringLiteral("Compactar"));
    miCompactar->setToolTip(QStringLiteral("Compactar"));
    for (QAction* item : {miBackup, miCompactar}) {
        item->setCheckable(true);
        item->setChecked(true);
    }
    pmBase->addSeparator();
    miEnsaiar = pmBase->addAction(QStringLiteral("Ensaiar a atualização..."));
    miEnsaiar->setToolTip(QStringLiteral("Aplica as versões numa cópia do banco de dados, sem alterá-lo"));
    connect(miEnsaiar, &QAction::triggered, this, [this] { RunGuarded([this] { miEnsaiarExecute(); }); });
    pmBase->setToolTipsVisible(true);
    client->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(client, &QWidget::customContextMenuRequested, this,
            [this, client](const QPoint& at) { pmBase->popup(client->mapToGlobal(at)); });
    Splitter->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Splitter, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { pmBase->popup(Splitter->mapToGlobal(at)); });

    setTabOrder(mAtualizar, mBackup);
    setTabOrder(mBackup, bAtualizar);
    setTabOrder(bAtualizar, mCompactar);
    setTabOrder(mCompactar, mSQL);

    session_ = std::make_unique<RunSession>(static_cast<UpgradeHost&>(*this));
    session_->SetSqlCursor(&sqlCursor_);
    connect(session_.get(), &RunSession::Finished, this, &TfPrincipal::RunFinished);

    resize(632, 406 + StatusBar1->sizeHint().height() - 19);
    bAtualizar->setFocus();
}

TfPrincipal::~TfPrincipal() = default;

void TfPrincipal::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!centred_) {
        centred_ = true;
        CenterOnScreen();
        bAtualizar->setFocus();
    }
}

void TfPrincipal::aAtualizarExecute() { StartRun(RunSession::Kind::Upgrade); }

void TfPrincipal::miEnsaiarExecute() { StartRun(RunSession::Kind::Rehearsal); }

void TfPrincipal::StartRun(RunSession::Kind kind) {
    if (runActive_ || ending_)
        return;
    LoginValues login;
    if (!session_->AskLogin(login) || ending_)
        return;
    runActive_ = true;
    SetRunControlsEnabled(false);
    session_->Start(login, kind);
}

void TfPrincipal::RunFinished(std::exception_ptr error) {
    SetRunControlsEnabled(true);
    if (ending_) {
        runActive_ = false;
        close();
        return;
    }
    if (error)
        ShowErrorBox(error);
    runActive_ = false;
}

void TfPrincipal::SetRunControlsEnabled(bool enabled) {
    aAtualizar->setEnabled(enabled);
    miBackup->setEnabled(enabled);
    miCompactar->setEnabled(enabled);
    miEnsaiar->setEnabled(enabled);
}

void TfPrincipal::RequestEnd(const QString& reason) {
    ending_ = true;
    // An open dialog ends as if cancelled: the login starts no run, a box needs no answer.
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible())
            dialog->reject();
    if (session_->Running())
        session_->RequestStop(reason);
    else
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void TfPrincipal::closeEvent(QCloseEvent* event) {
    if (session_->Running()) {
        event->ignore();
        RequestEnd(QStringLiteral("janela fechada"));
        return;
    }
    QMainWindow::closeEvent(event);
}

void TfPrincipal::EndSession() { session_->CloseConnection(); }

LogPane* TfPrincipal::PaneOf(Pane pane) const {
    switch (pane) {
    case Pane::Atualizar: return mAtualizar;
    case Pane::Backup: return mBackup;
    case Pane::Compactar: return mCompactar;
    case Pane::Sql: return mSQL;
    }
    return mSQL;
}

void TfPrincipal::ConsolePut(const QString& message) {
    StatusBar1->showMessage(message);
    mSQL->AppendLine(message);
}

void TfPrincipal::ProgressBackup(const QString& line) { mBackup->AppendLine(line); }
void TfPrincipal::ProgressCompactar(const QString& line) { mCompactar->AppendLine(line); }

bool TfPrincipal::Login(LoginValues& values) {
    // A new dialog for every run, destroyed on every path.
    std::unique_ptr<TfLogin> dialog(new TfLogin(this));
    login_ = dialog.get();
    struct Forget {
        TfLogin*& login;
        ~Forget() { login = nullptr; }
    } forget{login_};
    dialog->eServidor->setText(values.Servidor);
    dialog->eBancoDados->setText(values.BancoDados);
    dialog->eUsuario->setText(values.Usuario);
    dialog->eSenha->setText(values.Senha);
    if (dialog->exec() != QDialog::Accepted)
        return false;
    values.Servidor = dialog->eServidor->text();
    values.BancoDados = dialog->eBancoDados->text();
    values.Usuario = dialog->eUsuario->text();
    values.Senha = dialog->eSenha->text();
    return true;
}

namespace {
/// The refusal box: modal over the window, but centred on the screen.
class ScreenCentredBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        CenterOnScreen(this);
    }
};
} // namespace

void TfPrincipal::Information(const QString& text) {
    if (ending_)
        return;
    ScreenCentredBox box(QMessageBox::Information, QStringLiteral("Informação"), text, QMessageBox::NoButton, this);
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.exec();
}

void TfPrincipal::Concluded() {
    if (ending_)
        return;
    QMessageBox box(QMessageBox::Information, QStringLiteral("Concluído"), QStringLiteral("Concluído"),
                    QMessageBox::Ok, this);
    box.exec();
}

void TfPrincipal::Append(Pane pane, const QString& line) { PaneOf(pane)->AppendLine(line); }

void TfPrincipal::SetStatus(const QString& text) { StatusBar1->showMessage(text); }

void TfPrincipal::HideUpdateCommand() { aAtualizar->setVisible(false); }

bool TfPrincipal::BackupChecked() { return miBackup->isChecked(); }
bool TfPrincipal::CompactarChecked() { return miCompactar->isChecked(); }

// ExecuteBackup and ExecuteCompactar stay the host's defaults: the run's session runs both stages on the run's
// thread, and nothing of them may run on the window's thread.

void TfPrincipal::SetBusy(bool busy) {
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

} // namespace abd
