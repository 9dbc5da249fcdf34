#include "app/Application.h"

#include "firebird/Errors.h"
#include "firebird/Failure.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTimer>
#include <QTranslator>

namespace abd {

QString AppTitle() { return QStringLiteral("Atualizar Banco Dados"); }

namespace {
/// The message of one exception and, when it wraps another, the innermost non-empty one.
QString InnermostMessage(std::exception_ptr error, bool& silent) {
    QString message;
    try {
        std::rethrow_exception(error);
    } catch (const SilentAbort&) {
        silent = true;
        return {};
    } catch (const std::exception& e) {
        if (const auto* f = dynamic_cast<const Failure*>(&e))
            message = f->Message();
        else
            message = QString::fromLocal8Bit(e.what());
        try {
            std::rethrow_if_nested(e);
        } catch (...) {
            const QString inner = InnermostMessage(std::current_exception(), silent);
            if (!inner.isEmpty())
                return inner;
        }
    } catch (...) {
        message = QStringLiteral("Erro desconhecido");
    }
    return message;
}
} // namespace

QString ErrorBoxText(std::exception_ptr error) {
    bool silent = false;
    const QString text = InnermostMessage(error, silent);
    return silent ? QString() : WithFullStop(text);
}

void ShowErrorBox(std::exception_ptr error) {
    bool silent = false;
    InnermostMessage(error, silent);
    if (silent)
        return;
    QMessageBox box(QMessageBox::Critical, AppTitle(), ErrorBoxText(error), QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

void RunGuarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (...) {
        ShowErrorBox(std::current_exception());
    }
}

Aplicacao::Aplicacao(int& argc, char** argv) : QApplication(argc, argv) {
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    LoadTranslations();
}

void Aplicacao::LoadTranslations() {
    auto* qt = new QTranslator(this);
    if (qt->load(QStringLiteral("qtbase_pt_BR"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        installTranslator(qt);
}

bool Aplicacao::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowErrorBox(std::current_exception());
        return false;
    }
}

SqlWaitCursor::~SqlWaitCursor() {
    if (shown_)
        QApplication::restoreOverrideCursor();
}

void SqlWaitCursor::Show() {
    ++generation_;
    if (!shown_) {
        QApplication::setOverrideCursor(Qt::BusyCursor);
        shown_ = true;
    }
}

void SqlWaitCursor::HideAfter(int milliseconds) {
    const int generation = ++generation_;
    QTimer::singleShot(milliseconds, &timerContext_, [this, generation] {
        if (generation == generation_ && shown_) {
            QApplication::restoreOverrideCursor();
            shown_ = false;
        }
    });
}

} // namespace abd
