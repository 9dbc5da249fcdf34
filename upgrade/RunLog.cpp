#include "upgrade/RunLog.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace abd {

QString RecordTag::Of(Pane pane) {
    switch (pane) {
    case Pane::Atualizar: return QStringLiteral("atualizar");
    case Pane::Backup: return QStringLiteral("backup");
    case Pane::Compactar: return QStringLiteral("compactar");
    case Pane::Sql: return QStringLiteral("sql");
    }
    return QStringLiteral("sql");
}

QString PaneText(const QString& message) {
    QString text = message;
    if (text.endsWith(QLatin1Char('\r')))
        text.chop(1);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QStringList TaggedLines(const QString& tag, const QString& text) {
    QStringList out;
    const QString prefix = QLatin1Char('[') + tag + QStringLiteral("] ");
    for (const QString& line : PaneText(text).split(QLatin1Char('\n')))
        out << prefix + line;
    return out;
}

QString RunLog::Folder() { return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation); }

QString RunLog::DatabasePart(const QString& database) {
    QString part = database;
    const qsizetype separator = std::max(part.lastIndexOf(QLatin1Char('/')), part.lastIndexOf(QLatin1Char('\\')));
    if (separator >= 0)
        part = part.mid(separator + 1);
    for (QChar& c : part)
        if (!(c.isLetterOrNumber() || c == QLatin1Char('.') || c == QLatin1Char('-') || c == QLatin1Char('_')))
            c = QLatin1Char('_');
    return part.isEmpty() ? QStringLiteral("banco") : part;
}

bool RunLog::Open(const QDateTime& start, const QString& database) {
    std::lock_guard lock(mutex_);
    problem_.clear();
    writeFailed_ = false;
    const QString folder = Folder();
    const auto fail = [&](const QString& reason) {
        problem_ =
            QStringLiteral("O registro desta execução não pôde ser criado na pasta %1 (%2). A atualização "
                           "continua sem ele.")
                .arg(folder.isEmpty() ? QStringLiteral("de dados do usuário") : folder, reason);
        return false;
    };
    if (folder.isEmpty())
        return fail(QStringLiteral("nenhuma pasta de dados"));
    if (!QDir().mkpath(folder))
        return fail(QStringLiteral("a pasta não pôde ser criada"));
    // Server names, paths and the server's report are the owner's business alone.
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QString stem = folder + QLatin1Char('/') + start.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")) +
                         QLatin1Char('_') + DatabasePart(database);
    // Two runs in the same second (a refusal, then a new try) each keep a file of their own.
    for (int n = 1; n < 1000; ++n) {
        file_.setFileName(stem + (n == 1 ? QString() : QLatin1Char('-') + QString::number(n)) +
                          QStringLiteral(".log"));
        if (file_.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered,
                       QFileDevice::ReadOwner | QFileDevice::WriteOwner))
            return true;
        if (!file_.exists())
            return fail(file_.errorString());
    }
    return fail(QStringLiteral("nomes esgotados"));
}

QString RunLog::Problem() const {
    std::lock_guard lock(mutex_);
    return problem_;
}

void RunLog::Write(const QString& tag, const QString& text) {
    std::lock_guard lock(mutex_);
    if (!file_.isOpen())
        return;
    const QString time = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz "));
    QString block;
    for (const QString& line : TaggedLines(tag, text))
        block += time + line + QLatin1Char('\n');
    const QByteArray bytes = block.toUtf8();
    if (file_.write(bytes) == bytes.size() || writeFailed_)
        return;
    writeFailed_ = true;
    if (OnWriteFailure)
        OnWriteFailure(
            QStringLiteral("O registro desta execução deixou de ser gravado em %1 (%2). A atualização "
                           "continua.")
                .arg(QFileInfo(file_).absoluteFilePath(), file_.errorString()));
}

void RunLog::Close() {
    std::lock_guard lock(mutex_);
    file_.close();
}

QString RunLog::FileName() const {
    std::lock_guard lock(mutex_);
    return file_.isOpen() ? QFileInfo(file_).absoluteFilePath() : QString();
}

void RecordingHost::Record(Pane pane, const QString& line) {
    log_.Write(RecordTag::Of(pane), line);
    if (LineTap)
        LineTap(pane, line);
}

void RecordingHost::Information(const QString& text) {
    log_.Write(RecordTag::Message, text);
    inner_.Information(text);
}

void RecordingHost::Concluded() {
    log_.Write(RecordTag::Message, QStringLiteral("Concluído"));
    inner_.Concluded();
}

void RecordingHost::Append(Pane pane, const QString& line) {
    Record(pane, line);
    inner_.Append(pane, line);
}

void RecordingHost::SetStatus(const QString& text) {
    log_.Write(RecordTag::Status, text);
    inner_.SetStatus(text);
}

// A console message is also the status bar's text: the record holds it once, under the SQL pane.
void RecordingHost::ConsolePut(const QString& message) {
    Record(Pane::Sql, message);
    inner_.ConsolePut(message);
}

void RecordingHost::ProgressBackup(const QString& line) {
    Record(Pane::Backup, line);
    inner_.ProgressBackup(line);
}

void RecordingHost::ProgressCompactar(const QString& line) {
    Record(Pane::Compactar, line);
    inner_.ProgressCompactar(line);
}

} // namespace abd
