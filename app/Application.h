#pragma once

#include "firebird/Errors.h"
#include "script/ScriptRunner.h"

#include <QApplication>
#include <QString>
#include <exception>
#include <functional>

namespace abd {

/// "Atualizar Banco Dados": the application title and the caption of the error box.
QString AppTitle();

/// The modal error box, over every window of the program. Once the program is ending, nobody is there to answer
/// it: the text goes to the standard error instead (the run's record holds it too).
void ShowErrorBox(std::exception_ptr error);
/// The program has been asked to end (window closed during a run, or a signal).
void SetEnding();

/// Runs a handler inside the error trap: whatever escapes it reaches the error box and the program goes on.
void RunGuarded(const std::function<void()>& handler);

/// The application object: its event loop traps what escapes any event handler.
class Aplicacao : public QApplication {
public:
    Aplicacao(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

private:
    void LoadTranslations();
};

/// The SQL-wait cursor of the script passes, taken down by a 50 ms timer after the last pass.
class SqlWaitCursor : public WaitCursor {
public:
    ~SqlWaitCursor() override;
    void Show() override;
    void HideAfter(int milliseconds) override;

private:
    bool shown_ = false;
    int generation_ = 0;
    QObject timerContext_; // pending timers die with the cursor
};

} // namespace abd
