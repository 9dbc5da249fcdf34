#include "script/ScriptRunner.h"

#include "firebird/DatabaseConnection.h"
#include "firebird/DatabaseStatement.h"
#include "firebird/Errors.h"
#include "script/ScriptCommand.h"
#include "firebird/Encoding.h"
#include "script/ScriptParser.h"
#include "script/StatementText.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <algorithm>

namespace abd {

namespace {
AccessError RunnerError(int code, const QString& text, const QStringList& args = {}) {
    return AccessError::Make({QStringLiteral("Comp"), QStringLiteral("Script")}, code, text, args);
}

bool IsMacroNameChar(QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$') || c == QLatin1Char('#'); }
} // namespace

ScriptItem ReadScriptFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("Não foi possível ler o script %1: %2").arg(path, f.errorString()));
    const QByteArray bytes = f.readAll();
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = FromCodePage(bytes.constData(), bytes.size());
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    ScriptItem item;
    item.Name = QFileInfo(path).fileName();
    item.Text = text;
    return item;
}

ScriptRunner::ScriptRunner(QString name, DatabaseConnection* connection)
    : name_(std::move(name)), connection_(connection) {}

ScriptRunner::~ScriptRunner() { DropLink(); }

void ScriptRunner::SetConnection(DatabaseConnection* connection) {
    DropLink();
    connection_ = connection;
}

ScriptStatus ScriptRunner::Status() const {
    std::lock_guard lock(mutex_);
    return status_;
}

int ScriptRunner::TotalErrors() const {
    std::lock_guard lock(mutex_);
    return totalErrors_;
}


void ScriptRunner::AbortJob() {
    std::lock_guard lock(mutex_);
    stop_ = true;
    finished_ = true;
    status_ = ssAborted;
    // The statement the server is running is cancelled; between statements there is nothing to cancel.
    if (executing_ && connection_)
        connection_->CancelOperation();
}

bool ScriptRunner::HaltedLocked() {
    if (!stop_ && StopWhen && StopWhen()) {
        stop_ = true;
        finished_ = true;
        status_ = ssAborted;
    }
    return stop_;
}

bool ScriptRunner::ValidateAll() { return RunPass(true); }
bool ScriptRunner::ExecuteAll() { return RunPass(false); }

void ScriptRunner::OpenLink() {
    if (!connection_)
        return;
    if (!connection_->Connected())
        connection_->Open();
    if (!statement_) {
        statement_ = connection_->CreateStatement();
        closeListener_ = connection_->AddCloseListener([this] { DropLink(); });
    }
}

void ScriptRunner::DropLink() {
    statement_.reset();
    if (closeListener_ && connection_)
        connection_->RemoveCloseListener(closeListener_);
    closeListener_ = 0;
}

bool ScriptRunner::RunPass(bool validating) {
    if (Cursor)
        Cursor->Show();
    struct CursorTimer {
        WaitCursor* cursor;
        ~CursorTimer() {
            if (cursor)
                cursor->HideAfter(50);
        }
    } cursorTimer{Cursor};

    if (!connection_)
        throw RunnerError(512,
                          QStringLiteral("Connection is not defined for [%s]. Possible reason: Connection and "
                                         "ConnectionName property values are both empty"),
                          {name_});
    if (SQLScripts.isEmpty())
        throw RunnerError(811,
                          QStringLiteral("No script to execute for [%s]. Possible reason: SQLScriptFileName and "
                                         "SQLScripts both are empty"),
                          {name_});

    {
        std::lock_guard lock(mutex_);
        finished_ = false;
        stop_ = false;
        status_ = validating ? ssValidating : ssRunning;
        totalErrors_ = 0;
    }
    validating_ = validating;
    commandsSinceCommit_ = 0;
    Options.UpdateActualSeparator();
    if (connection_->Connected())
        OpenLink();
    const ScriptOptions saved = Options;

    // Arguments become the macros "1", "2", ...; numeric macros are put aside meanwhile.
    QMap<QString, QString> numericMacros;
    for (auto it = Macros.begin(); it != Macros.end();) {
        bool numeric = false;
        it.key().toInt(&numeric);
        if (numeric) {
            numericMacros.insert(it.key(), it.value());
            it = Macros.erase(it);
        } else {
            ++it;
        }
    }
    for (int i = 0; i < Arguments.size(); ++i)
        Macros.insert(QString::number(i + 1), Arguments[i]);

    const ScriptItem& item = SQLScripts.front();
    const QString fileName = item.Name;
    if (!validating && Options.FeedbackScript && !fileName.isEmpty())
        ConsolePut(QStringLiteral("Running script [") + fileName + QStringLiteral("] ..."), soScript);

    QElapsedTimer timer;
    timer.start();
    ScriptParser parser = item.Text.isNull() ? ScriptParser(item.SQL, Options, fileName)
                                             : ScriptParser(item.Text, Options, fileName);
    parser_ = &parser;
    std::exception_ptr pending;

    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (finished_ || HaltedLocked())
                break;
        }
        try {
            std::unique_ptr<ScriptCommand> command = parser.ExtractCommand(*this);
            if (!command)
                break;
            bool finishedNow;
            {
                std::lock_guard lock(mutex_);
                finishedNow = finished_ || HaltedLocked();
            }
            if (!finishedNow) {
                if (validating)
                    command->Validate();
                else
                    command->Execute();
            }
        } catch (const std::exception& e) {
            if (Options.IgnoreError)
                continue;
            {
                std::lock_guard lock(mutex_);
                ++totalErrors_;
            }
            if (const auto* db = dynamic_cast<const DatabaseError*>(&e)) {
                const auto& items = db->Items();
                for (std::size_t i = 0; i < items.size(); ++i)
                    ConsolePut(i == 0 ? QStringLiteral("ERROR: ") + items[i].Message : items[i].Message, soError);
                if (items.empty())
                    ConsolePut(QStringLiteral("ERROR: ") + db->Message(), soError);
            } else if (const auto* f = dynamic_cast<const Failure*>(&e)) {
                ConsolePut(QStringLiteral("ERROR: ") + f->Message(), soError);
            } else {
                ConsolePut(QStringLiteral("ERROR: ") + QString::fromLocal8Bit(e.what()), soError);
            }
            if (Options.BreakOnError) {
                pending = std::current_exception();
                break;
            }
        }
    }

    // End of the pass, also when an error leaves it.
    parser_ = nullptr;
    if (!validating && Options.CommitEachNCommands > 0 && connection_->InTransaction()) {
        try {
            connection_->Commit();
        } catch (...) {
            if (!pending)
                pending = std::current_exception();
        }
    }
    for (int i = 0; i < Arguments.size(); ++i)
        Macros.remove(QString::number(i + 1));
    for (auto it = numericMacros.begin(); it != numericMacros.end(); ++it)
        Macros.insert(it.key(), it.value());
    const int errors = TotalErrors();
    if (Options.FeedbackScript && !fileName.isEmpty() && !validating) {
        QString end = QStringLiteral("Script [") + fileName + QStringLiteral("] finished");
        end += errors == 0 ? QStringLiteral(" without errors")
               : errors == 1 ? QStringLiteral(" with [1] error")
                             : QStringLiteral(" with [%1] errors").arg(errors);
        if (Options.Timing)
            end += QLatin1Char(' ') + TimingText(timer.elapsed());
        ConsolePut(end + QLatin1Char('.'), soScript);
        ConsolePut(QString(), soSeparator);
    }
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
        if (status_ != ssAborted)
            status_ = errors == 0 ? ssFinishSuccess : ssFinishWithErrors;
    }
    Options = saved;
    validating_ = false;
    if (pending)
        std::rethrow_exception(pending);
    return errors == 0;
}

void ScriptRunner::ConsolePut(const QString& message, ConsoleKind kind) {
    if (!Options.ConsoleOutput || !OnConsolePut)
        return;
    if (Options.TrimConsole) {
        qsizetype n = message.size();
        while (n > 0 && message[n - 1] == QLatin1Char(' '))
            --n;
        OnConsolePut(*this, message.left(n), kind);
    } else {
        OnConsolePut(*this, message, kind);
    }
}

void ScriptRunner::EchoCommand(const ScriptCommand& command, QStringView extent) {
    if (validating_ || !Options.ConsoleOutput || !OnConsolePut)
        return;
    if (!(Options.Echo == ecAll || (Options.Echo == ecSQL && command.IsStatement())))
        return;
    if (Options.EchoCommandTrim > 0 && extent.size() > Options.EchoCommandTrim)
        ConsolePut(extent.left(Options.EchoCommandTrim).toString() + QStringLiteral(" ..."), soEcho);
    else
        ConsolePut(extent.toString(), soEcho);
}

QString ScriptRunner::TimingText(qint64 ms) const {
    return QStringLiteral("[%1:%2:%3.%4]")
        .arg(ms / 3600000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms / 60000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

QString ScriptRunner::ExpandMacros(const QString& text) const {
    // "!!" stands for one "!" whatever the macros are; without a "!" or "&" there is nothing to do.
    if (!Options.MacroExpand || (!text.contains(QLatin1Char('!')) && !text.contains(QLatin1Char('&'))))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if ((c == QLatin1Char('!') || c == QLatin1Char('&')) && i + 1 < text.size()) {
            if (c == QLatin1Char('!') && text[i + 1] == QLatin1Char('!')) {
                out += c;
                ++i;
                continue;
            }
            qsizetype j = i + 1;
            while (j < text.size() && IsMacroNameChar(text[j]))
                ++j;
            const QString name = text.mid(i + 1, j - i - 1);
            // An undefined name stays as written: a literal such as 'A&B' must reach the database unchanged.
            if (!name.isEmpty() && Macros.contains(name)) {
                out += Macros.value(name);
                i = j - 1;
                continue;
            }
        }
        out += c;
    }
    return out;
}

void ScriptRunner::ExecuteStatement(ScriptCommand& command) {
    OpenLink();
    if (!statement_ || !connection_->Connected())
        throw RunnerError(809, QStringLiteral("Cannot execute command. Not logged on"));
    if (Options.CommitEachNCommands > 0 && commandsSinceCommit_ == 0 && !connection_->InTransaction())
        connection_->StartTransaction();
    if (command.Unterminated)
        ConsolePut(QStringLiteral("The last statement of the script has no terminator [") +
                       Options.ActualCommandSeparator + QStringLiteral("]; it runs as written."),
                   soInfo);

    const StatementText prepared = TranslateStatement(ExpandMacros(command.Text));
    const QString& text = prepared.Sql;
    std::vector<std::optional<QString>> values;
    for (const QString& name : prepared.Parameters)
        values.push_back(ParamValue(name));
    QElapsedTimer timer;
    timer.start();
    bool opened = false;
    StatementKind kind = StatementKind::Unknown;
    {
        // Checked and marked in one step with AbortJob's look at it: a stop either finds the statement at the
        // server and cancels it, or comes first and the statement is never sent.
        std::lock_guard lock(mutex_);
        if (HaltedLocked())
            return;
        executing_ = true;
    }
    struct Executing {
        ScriptRunner& runner;
        ~Executing() {
            std::lock_guard lock(runner.mutex_);
            runner.executing_ = false;
        }
    } executing{*this};
    bool droppedNothing = false;
    try {
        statement_->SetParameters(values);
        if (Options.PlanOnly) {
            // Prepared, so that the server checks it; never executed.
            statement_->PrepareOnServer(text);
            kind = statement_->Kind();
        } else {
            statement_->Prepare(text);
            kind = statement_->Kind();
            if (statement_->Open()) {
                opened = true;
                PrintRows(*statement_);
            }
        }
        statement_->Close();
    } catch (const DatabaseError& e) {
        if (statement_)
            try {
                statement_->Close();
            } catch (...) {
            }
        const bool drop = (kind == StatementKind::Unknown ? StatementKindOf(text) : kind) == StatementKind::Drop;
        if (e.Items().empty() || e.Items().front().Kind != ekObjNotExists || !Options.DropNonexistObj || !drop)
            throw;
        // Dropping what is not there is no error: it is said, then counted and timed as any other command.
        if (Options.FeedbackCommands) {
            const QString name = e.Items().front().ObjName;
            ConsolePut(name.isEmpty() ? QStringLiteral("Object does not exists. ")
                                      : QLatin1Char('[') + name + QStringLiteral("] does not exists."),
                       soCommand);
        }
        droppedNothing = true;
    }
    const qint64 elapsed = timer.elapsed();

    if (Options.AutoDDL && !Options.PlanOnly && !droppedNothing && connection_->InTransaction() &&
        IsDefinitionStatement(kind, text))
        connection_->Commit();
    if (Options.CommitEachNCommands > 0 && ++commandsSinceCommit_ >= Options.CommitEachNCommands) {
        connection_->Commit();
        commandsSinceCommit_ = 0;
    }
    if (!Options.FeedbackCommands)
        return;
    QString out;
    if (!opened) {
        const std::int64_t rows = statement_ ? statement_->RowsAffected() : 0;
        if (droppedNothing || Options.PlanOnly || !statement_ || !statement_->RowCountKnown() ||
            IsDefinitionGroup(kind))
            out = QStringLiteral("Ok");
        else if (rows == 0)
            out = QStringLiteral("no rows processed");
        else if (rows == 1)
            out = QStringLiteral("1 row processed");
        else
            out = QString::number(rows) + QStringLiteral(" rows processed");
    }
    if (Options.Timing) {
        if (!out.isEmpty())
            out += QLatin1Char(' ');
        out += TimingText(elapsed);
    }
    if (!out.isEmpty())
        ConsolePut(out + QLatin1Char('.'), soCommand);
}

std::optional<QString> ScriptRunner::ParamValue(const QString& name) const {
    for (auto it = Params.begin(); it != Params.end(); ++it)
        if (it.key().compare(name, Qt::CaseInsensitive) == 0) {
            if (it.value().isNull() || !it.value().isValid())
                return std::nullopt;
            if (it.value().typeId() == QMetaType::QDate)
                return it.value().toDate().toString(Qt::ISODate);
            if (it.value().typeId() == QMetaType::QDateTime)
                return it.value().toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
            return it.value().toString();
        }
    return std::nullopt;
}

void ScriptRunner::PrintRows(DatabaseStatement& statement) {
    std::vector<std::vector<QString>> rows;
    while (statement.Fetch()) {
        std::vector<QString> row;
        for (const Value& v : statement.Row())
            row.push_back(v.Display());
        rows.push_back(std::move(row));
    }
    const auto& columns = statement.Columns();
    std::vector<qsizetype> widths;
    for (const ColumnInfo& c : columns)
        widths.push_back(c.Name.size());
    for (const auto& row : rows)
        for (std::size_t i = 0; i < row.size() && i < widths.size(); ++i)
            widths[i] = std::max(widths[i], std::min<qsizetype>(row[i].size(), 80));
    auto line = [&](const std::vector<QString>& cells) {
        QString text;
        for (std::size_t i = 0; i < cells.size() && i < widths.size(); ++i) {
            if (i > 0)
                text += QLatin1Char(' ');
            text += cells[i].leftJustified(widths[i], QLatin1Char(' '), false);
        }
        return text;
    };
    std::vector<QString> heading, rule;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        heading.push_back(columns[i].Name);
        rule.push_back(QString(widths[i], QLatin1Char('=')));
    }
    ConsolePut(line(heading), soData);
    ConsolePut(line(rule), soData);
    for (const auto& row : rows)
        ConsolePut(line(row), soData);
    if (Options.FeedbackCommands)
        ConsolePut(rows.empty() ? QStringLiteral("no rows selected.")
                   : rows.size() == 1 ? QStringLiteral("1 row selected.")
                                      : QString::number(rows.size()) + QStringLiteral(" rows selected."),
                   soCommand);
}

void ScriptRunner::EndScript(ScriptEnd how) {
    if (!validating_ && connection_ && connection_->Connected() && connection_->InTransaction()) {
        if (how == ScriptEnd::Commit)
            connection_->Commit();
        else if (how == ScriptEnd::Rollback)
            connection_->Rollback();
    }
    std::lock_guard lock(mutex_);
    finished_ = true;
}

} // namespace abd
