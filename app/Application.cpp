#include "app/Application.h"

#include "firebird/Errors.h"
#include "firebird/Failure.h"
#include "upgrade/Translations.h"

#include <QMessageBox>
#include <QTimer>
#include <cstdio>

namespace abd {

QString AppTitle() { return QStringLiteral("Atualizar Banco Dados"); }

namespace {
bool g_ending = false;
}

void SetEnding() { g_ending = true; }

void ShowErrorBox(std::exception_ptr error) {
    const QString text = ErrorBoxText(error);
    if (text.isEmpty() && IsSilentAbort(error))
        return;
    if (g_ending) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(AppTitle()), text.toLocal8Bit().constData());
        return;
    }
    QMessageBox box(QMessageBox::Critical, AppTitle(), text, QMessageBox::Ok);
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
    // The records of the runs live in this application's data folder, shared with the terminal program.
    setApplicationName(QStringLiteral("atualizar-banco-dados"));
    // Qt's own buttons speak Brazilian Portuguese; dates, times and upper case follow the system's locale.
    LoadTranslations();
}

void Aplicacao::LoadTranslations() { InstallQtTranslations(*this); }

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
