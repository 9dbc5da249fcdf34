#include "console/ConsoleHost.h"

#include "upgrade/RunLog.h"

namespace abd {

void ConsoleHost::Print(const QString& tag, const QString& text) {
    if (gone_)
        return;
    bool written = true;
    for (const QString& line : TaggedLines(tag, text))
        written = std::fprintf(out_, "%s\n", line.toUtf8().constData()) >= 0 && written;
    if (std::fflush(out_) != 0 || !written) {
        gone_ = true;
        if (OnOutputGone)
            OnOutputGone();
    }
}

void ConsoleHost::Information(const QString& text) {
    refused_ = true;
    Print(RecordTag::Message, text);
}

void ConsoleHost::RecordProblem(const QString& text) {
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

void ConsoleHost::Concluded() { Print(RecordTag::Message, QStringLiteral("Concluído")); }
void ConsoleHost::Append(Pane pane, const QString& line) { Print(RecordTag::Of(pane), line); }
void ConsoleHost::SetStatus(const QString& text) { Print(RecordTag::Status, text); }
void ConsoleHost::ConsolePut(const QString& message) { Print(RecordTag::Of(Pane::Sql), message); }
void ConsoleHost::ProgressBackup(const QString& line) { Print(RecordTag::Of(Pane::Backup), line); }
void ConsoleHost::ProgressCompactar(const QString& line) { Print(RecordTag::Of(Pane::Compactar), line); }

} // namespace abd
