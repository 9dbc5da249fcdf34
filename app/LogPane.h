#pragma once

#include <QPlainTextEdit>
#include <QStringList>

namespace abd {

/// A read-only pane of lines that are only ever appended. A line is painted at once unless a paint happened
/// a moment ago; lines that arrive in a burst are painted together when the event loop runs again.
class LogPane : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit LogPane(const QString& initial, QWidget* parent = nullptr);
    ~LogPane() override;

    /// Appends one line (an empty text appends an empty line).
    void AppendLine(const QString& line);
    /// All lines, the initial ones included, joined by line breaks.
    QString Text();
    /// Puts pending lines into the pane and paints it.
    void Flush();
    /// Flushes every pane of the program.
    static void FlushAll();

    /// Paints closer together than this are merged.
    static constexpr int kPaintIntervalMs = 20;

private:
    QStringList pending_;
    bool flushQueued_ = false;
};

} // namespace abd
