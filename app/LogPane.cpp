#include "app/LogPane.h"

#include "upgrade/RunLog.h"

#include <QElapsedTimer>
#include <QScrollBar>
#include <QTextCursor>
#include <QTimer>
#include <algorithm>
#include <vector>

namespace abd {

namespace {
std::vector<LogPane*>& Panes() {
    static std::vector<LogPane*> panes;
    return panes;
}

QElapsedTimer& SinceLastPaint() {
    static QElapsedTimer timer;
    return timer;
}
} // namespace

LogPane::LogPane(const QString& initial, QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setPlainText(initial);
    Panes().push_back(this);
}

LogPane::~LogPane() { Panes().erase(std::remove(Panes().begin(), Panes().end(), this), Panes().end()); }

void LogPane::AppendLine(const QString& line) {
    // Line breaks as the text engine would take them, whatever the bursts are: one write, one line.
    const QString text = PaneText(line);
    pending_ << text;
    if (!SinceLastPaint().isValid() || SinceLastPaint().elapsed() >= kPaintIntervalMs) {
        FlushAll();
        return;
    }
    // Whatever is still pending when the event loop runs again is painted then.
    if (!flushQueued_) {
        flushQueued_ = true;
        QTimer::singleShot(0, this, [this] {
            flushQueued_ = false;
            Flush();
        });
    }
}

void LogPane::Flush() {
    if (pending_.isEmpty())
        return;
    // One insertion for the whole burst: the document lays it out once.
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QLatin1Char('\n') + pending_.join(QLatin1Char('\n')));
    pending_.clear();
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    viewport()->repaint();
    SinceLastPaint().start();
}

void LogPane::FlushAll() {
    for (LogPane* pane : Panes())
        pane->Flush();
}

QString LogPane::Text() {
    Flush();
    return toPlainText();
}

} // namespace abd
