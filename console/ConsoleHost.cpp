#include "console/ConsoleHost.h"

#include "upgrade/RunLog.h"

namespace abd {

void ConsoleHost::Print(const QString& tag, const QString& text) {
    for (const QString& line : TaggedLines(tag, text))
        std::fprintf(out_, "%s\n", line.toUtf8().constData());
    std::fflush(out_);
}

void ConsoleHost::Information(const QString& text) {
    refused_ = true;
    Print(RecordTag::Message, text);
}

void ConsoleHost::Concluded() { Print(RecordTag::Message, QStringLiteral("Concluído")); }
void ConsoleHost::Append(Pane pane, const QString& line) { Print(RecordTag::Of(pane), line); }
void ConsoleHost::SetStatus(const QString& text) { Print(RecordTag::Status, text); }
void ConsoleHost::ConsolePut(const QString& message) { Print(RecordTag::Of(Pane::Sql), message); }
void ConsoleHost::ProgressBackup(const QString& line) { Print(RecordTag::Of(Pane::Backup), line); }
void ConsoleHost::ProgressCompactar(const QString& line) { Print(RecordTag::Of(Pane::Compactar), line); }

} // namespace abd
