#include "script/Commands.h"

#include "firebird/Errors.h"
#include "script/ScriptParser.h"
#include "script/ScriptRunner.h"

namespace abd {

void SqlStatementCommand::Execute() { runner_.ExecuteStatement(*this); }

namespace {

/// isql's own commands run to their terminator, over as many lines as they take ("CONNECT 'x'" on one line,
/// "USER 'SYSDBA' PASSWORD ..." on the next); the table's other commands end at their line's end as well.
bool EndsAtTerminator(const QString& keyword) {
    for (const char* k : {"OUT", "SHELL", "IN", "HELP", "?", "EDIT", "SHOW", "CON", "CREATE", "DROP"})
        if (keyword.startsWith(QLatin1String(k)))
            return true;
    return false;
}

/// A command of the table that the program never runs: recognised, its arguments consumed, nothing sent.
class QuietCommand : public ScriptCommand {
public:
    using ScriptCommand::ScriptCommand;
    bool Parse(const QString& keyword) override {
        if (EndsAtTerminator(keyword))
            parser_.SkipToTerminator();
        else
            parser_.SkipToCommandEnd();
        return true;
    }
};

/// isql's SHOW: the runner shows nothing of the database, and says so.
class ShowCommand : public ScriptCommand {
public:
    using ScriptCommand::ScriptCommand;
    bool Parse(const QString& keyword) override {
        text_ = keyword + parser_.SkipToTerminator().simplified().prepend(QLatin1Char(' '));
        return true;
    }
    void Execute() override { runner_.ConsolePut(QStringLiteral("Ignored: ") + text_.trimmed(), soInfo); }

private:
    QString text_;
};

/// "@", "@@", START, INPUT: only at the start of a line.
class NestedScriptCommand : public QuietCommand {
public:
    using QuietCommand::QuietCommand;
    bool Parse(const QString& keyword) override {
        if (!parser_.KeywordAtLineStart())
            return false;
        return QuietCommand::Parse(keyword);
    }
};

/// EXECUTE declines on Firebird, so EXECUTE BLOCK and EXECUTE PROCEDURE stay statements.
class ExecuteCommand : public ScriptCommand {
public:
    using ScriptCommand::ScriptCommand;
    bool Parse(const QString&) override { return false; }
};

/// PROMPT prints its text.
class PromptCommand : public ScriptCommand {
public:
    using ScriptCommand::ScriptCommand;
    bool Parse(const QString&) override {
        text_ = parser_.GetLine();
        parser_.SkipToCommandEnd();
        return true;
    }
    void Execute() override { runner_.ConsolePut(text_, soUserOutput); }

private:
    QString text_;
};

class ExitCommand : public ScriptCommand {
public:
    using ScriptCommand::ScriptCommand;
    bool Parse(const QString& keyword) override {
        keyword_ = keyword;
        parser_.SkipToCommandEnd();
        return true;
    }
    void Execute() override { runner_.EndScript(keyword_.startsWith(QLatin1String("EXIT"))   ? ScriptEnd::Commit
                                                : keyword_.startsWith(QLatin1String("QUIT")) ? ScriptEnd::Rollback
                                                                                             : ScriptEnd::Leave); }
    void Validate() override { runner_.EndScript(ScriptEnd::Leave); }

private:
    QString keyword_;
};

/// Applies a new terminator: CommandSeparator, and ActualCommandSeparator trimmed and upper-cased.
void ApplyTerminator(ScriptOptions& o, const QString& value) {
    if (value != o.CommandSeparator) {
        o.CommandSeparator = value;
        o.ActualCommandSeparator = AsciiUpper(value.trimmed());
    }
    if (o.CommandSeparator.isEmpty())
        o.ActualCommandSeparator = QStringLiteral(";");
}

class DelimiterCommand : public ScriptCommand {
public:
    using ScriptCommand::ScriptCommand;
    bool Parse(const QString&) override {
        value_ = parser_.GetStringInFull();
        return true;
    }
    void Execute() override { ApplyTerminator(parser_.Options(), value_); }
    void Validate() override { Execute(); }

private:
    QString value_;
};

class SetCommand : public ScriptCommand {
public:
    using ScriptCommand::ScriptCommand;

    bool Parse(const QString&) override {
        while (!ended_) {
            const QString word = parser_.GetUCWord();
            if (word.isEmpty())
                break;
            const QString option = MatchOption(word);
            if (option.isEmpty())
                continue;
            SkipAssignment();
            ReadValue(option);
        }
        return !settings_.empty();
    }

    void Execute() override { Apply(false); }
    void Validate() override { Apply(true); }

private:
    struct Setting {
        QString Option;
        int Number = 0;
        QString Text;
        EchoCommands Echo = ecNone;
        int Trim = 50;
    };

    static QString MatchOption(const QString& word) {
        static const std::pair<const char*, int> kOptions[] = {
            {"ARRAY", 5},      {"AUTOCOMMIT", 4},    {"AUTOPRINT", 5},    {"BLOBFILE", 8},   {"CHARACTERSET", 9},
            {"NAMES", 5},      {"CLIENTLIB", 6},     {"CMDSEPARATOR", 4}, {"TERMINATOR", 4}, {"DEFINE", 3},
            {"SCAN", 4},       {"DROPNONEXISTENT", 4}, {"ECHO", 4},       {"ENCODING", 3},   {"FEEDBACK", 4},
            {"COUNT", 5},      {"HEADING", 3},       {"LINESIZE", 5},     {"LONG", 4},       {"WIDTH", 5},
            {"PARAMARRAY", 10}, {"PAGESIZE", 5},     {"SERVEROUTPUT", 9}, {"SQL", 3},        {"TERMOUT", 4},
            {"CONSOLE", 3},    {"TIMING", 3},        {"BREAK", 5},        {"IGNORE", 6},     {"TRIMOUT", 4},
            {"TRIMSPOOL", 5},  {"VERIFY", 3},        {"NUMWIDTH", 3},     {"TAB", 3},
            // isql's own options: never sent to the database.
            {"LIST", 4},       {"BAIL", 4},          {"BLOBDISPLAY", 4},  {"PLANONLY", 8},   {"PLAN", 4},
            {"SQLDA_DISPLAY", 5}, {"EXPLAIN", 7},    {"AUTODDL", 5},      {"BULK_INSERT", 4}, {"AUTOTERM", 8},
            {"DECFLOAT", 8},   {"STATS", 5},         {"WARNINGS", 4},     {"WNG", 3},        {"ROWCOUNT", 8},
            {"MAXROWS", 7},    {"KEEP_TRAN_PARAMS", 9}, {"LOCAL_TIMEOUT", 13}, {"EXEC_PATH_DISPLAY", 17},
            {"PER_TABLE_STATS", 15}};
        for (const auto& [name, minimum] : kOptions) {
            const QString n = QLatin1String(name);
            if (word.size() >= minimum && n.startsWith(word))
                return n;
        }
        return {};
    }

    void SkipAssignment() {
        parser_.SkipWS();
        if (parser_.Current() == QLatin1Char('=')) {
            parser_.GetChar();
        } else if (parser_.Current() == QLatin1Char(':') &&
                   parser_.ExtractString(parser_.GetBookmark(), parser_.GetBookmark()) == QLatin1String("=")) {
            parser_.GetChar();
            parser_.GetChar();
        }
    }

    void ReadValue(const QString& option) {
        Setting s;
        s.Option = option;
        if (option == QLatin1String("CMDSEPARATOR") || option == QLatin1String("TERMINATOR")) {
            const QString value = parser_.GetString(true);
            if (value.compare(QLatin1String("ON"), Qt::CaseInsensitive) == 0)
                s.Text = QString();
            else if (value.compare(QLatin1String("OFF"), Qt::CaseInsensitive) == 0)
                s.Text = QString(QChar(0x00FF));
            else if (value.isEmpty())
                s.Text = parser_.Options().CommandSeparator;
            else
                s.Text = value;
        } else if (option == QLatin1String("ECHO")) {
            if (parser_.GetOnOff() < 0) {
                s.Echo = ecNone;
            } else {
                s.Echo = ecAll;
                for (;;) {
                    const qsizetype mark = parser_.GetBookmark();
                    const QString more = parser_.GetUCWord();
                    if (more == QLatin1String("SQL"))
                        s.Echo = ecSQL;
                    else if (more == QLatin1String("ALL"))
                        s.Echo = ecAll;
                    else if (more == QLatin1String("TRIM"))
                        s.Trim = parser_.GetNumber(0);
                    else {
                        if (!more.isEmpty())
                            parser_.SetBookmark(mark);
                        break;
                    }
                }
            }
        } else if (option == QLatin1String("FEEDBACK") || option == QLatin1String("COUNT")) {
            s.Number = parser_.GetNumber(6);
        } else if (IsIsqlSwitch(option)) {
            // isql writes these with ON, OFF or nothing at all (which flips them).
            const qsizetype mark = parser_.GetBookmark();
            const QString value = parser_.GetUCWord();
            if (value == QLatin1String("ON"))
                s.Number = 1;
            else if (value == QLatin1String("OFF"))
                s.Number = -1;
            else {
                s.Number = 0;
                if (!value.isEmpty())
                    parser_.SetBookmark(mark);
            }
        } else if (option == QLatin1String("DECFLOAT") || option == QLatin1String("BULK_INSERT")) {
            // Their arguments are a clause of their own, up to the terminator.
            parser_.SkipToTerminator();
            settings_.push_back(s);
            ended_ = true;
            return;
        } else if (option == QLatin1String("BREAK") || option == QLatin1String("IGNORE") ||
                   option == QLatin1String("TIMING") || option == QLatin1String("TERMOUT") ||
                   option == QLatin1String("CONSOLE") || option == QLatin1String("TRIMOUT") ||
                   option == QLatin1String("DEFINE") || option == QLatin1String("SCAN") ||
                   option == QLatin1String("DROPNONEXISTENT") || option == QLatin1String("AUTOCOMMIT") ||
                   option == QLatin1String("HEADING") || option == QLatin1String("VERIFY") ||
                   option == QLatin1String("SERVEROUTPUT") || option == QLatin1String("AUTOPRINT") ||
                   option == QLatin1String("TRIMSPOOL") || option == QLatin1String("TAB")) {
            s.Number = parser_.GetOnOff();
        } else {
            // Options the program never runs: their value is read and has no effect.
            s.Text = parser_.GetString(false);
        }
        settings_.push_back(s);
    }

    void Apply(bool validating) {
        ScriptOptions& o = parser_.Options();
        for (const Setting& s : settings_) {
            if (s.Option == QLatin1String("CMDSEPARATOR") || s.Option == QLatin1String("TERMINATOR"))
                ApplyTerminator(o, s.Text);
            else if (s.Option == QLatin1String("BREAK"))
                o.BreakOnError = s.Number > 0;
            else if (s.Option == QLatin1String("BAIL"))
                o.BreakOnError = Switched(s.Number, o.BreakOnError);
            else if (s.Option == QLatin1String("IGNORE"))
                o.IgnoreError = s.Number > 0;
            else if (validating)
                continue;
            else if (s.Option == QLatin1String("ECHO")) {
                o.Echo = s.Echo;
                if (s.Echo != ecNone)
                    o.EchoCommandTrim = s.Trim;
            } else if (s.Option == QLatin1String("FEEDBACK") || s.Option == QLatin1String("COUNT"))
                o.FeedbackCommands = s.Number > 0;
            else if (s.Option == QLatin1String("TIMING"))
                o.Timing = s.Number > 0;
            else if (s.Option == QLatin1String("TERMOUT") || s.Option == QLatin1String("CONSOLE"))
                o.ConsoleOutput = s.Number > 0;
            else if (s.Option == QLatin1String("TRIMOUT"))
                o.TrimConsole = s.Number > 0;
            else if (s.Option == QLatin1String("DEFINE") || s.Option == QLatin1String("SCAN"))
                o.MacroExpand = s.Number > 0;
            else if (s.Option == QLatin1String("DROPNONEXISTENT"))
                o.DropNonexistObj = s.Number > 0;
            else if (s.Option == QLatin1String("AUTODDL"))
                o.AutoDDL = Switched(s.Number, o.AutoDDL);
            else if (s.Option == QLatin1String("PLANONLY"))
                o.PlanOnly = Switched(s.Number, o.PlanOnly);
        }
    }

    static bool IsIsqlSwitch(const QString& option) {
        for (const char* o : {"LIST", "BAIL", "PLANONLY", "PLAN", "SQLDA_DISPLAY", "EXPLAIN", "AUTODDL", "AUTOTERM",
                              "STATS", "WARNINGS", "WNG", "KEEP_TRAN_PARAMS", "EXEC_PATH_DISPLAY", "PER_TABLE_STATS"})
            if (option == QLatin1String(o))
                return true;
        return false;
    }

    /// An isql switch: ON (1), OFF (-1) or nothing (0, which flips it).
    static bool Switched(int number, bool current) { return number == 0 ? !current : number > 0; }

    std::vector<Setting> settings_;
    bool ended_ = false;
};

template <class C>
CommandFactory Factory() {
    return [](ScriptParser& p, ScriptRunner& r) { return std::make_unique<C>(p, r); };
}

} // namespace

std::unique_ptr<ScriptCommand> MakeCreateDatabaseCommand(ScriptParser& parser, ScriptRunner& runner) {
    return std::make_unique<QuietCommand>(parser, runner);
}

void RegisterStandardCommands(ScriptCommandRegistry& r) {
    r.AddCommand({"run a nested script", {"@", "@@", "START", "INput"}, Factory<NestedScriptCommand>()});
    r.AddCommand({"ACCEPT", {"ACCept"}, Factory<QuietCommand>()});
    r.AddCommand({"CONNECT", {"CONnect"}, Factory<QuietCommand>()});
    r.AddCommand({"COPY", {"COPY"}, Factory<QuietCommand>()});
    r.AddCommand({"DEFINE", {"DEFine"}, Factory<QuietCommand>()});
    r.AddCommand({"DELIMITER", {"DELIMiter"}, Factory<DelimiterCommand>()});
    r.AddCommand({"DISCONNECT", {"DISconnect"}, Factory<QuietCommand>()});
    r.AddCommand({"EXECUTE", {"EXECute", "CALL"}, Factory<ExecuteCommand>()});
    r.AddCommand({"EXIT", {"EXIT", "QUIT", "STOP"}, Factory<ExitCommand>()});
    r.AddCommand({"HELP", {"HELP", "?"}, Factory<QuietCommand>()});
    r.AddCommand({"HOST", {"HOst", "SHELL", "!!"}, Factory<QuietCommand>()});
    r.AddCommand({"PAUSE", {"PAUse"}, Factory<QuietCommand>()});
    r.AddCommand({"PROMPT", {"PROmpt"}, Factory<PromptCommand>()});
    r.AddCommand({"PRINT", {"PRInt"}, Factory<QuietCommand>()});
    r.AddCommand({"REMARK", {"REMark"}, Factory<QuietCommand>()});
    r.AddCommand({"SET", {"SET"}, Factory<SetCommand>()});
    r.AddCommand({"SPOOL", {"SPOol", "OUTput"}, Factory<QuietCommand>()});
    r.AddCommand({"UNDEFINE", {"UNDEFine"}, Factory<QuietCommand>()});
    r.AddCommand({"VARIABLE", {"VARiable"}, Factory<QuietCommand>()});
    r.AddCommand({"CREATE DATABASE", {"CREATE DATABASE"}, Factory<QuietCommand>()});
    r.AddCommand({"DROP DATABASE", {"DROP DATABASE"}, Factory<QuietCommand>()});
    // isql's own commands beyond those above.
    r.AddCommand({"SHOW", {"SHOW"}, Factory<ShowCommand>()});
    r.AddCommand({"EDIT", {"EDIT"}, Factory<QuietCommand>()});
}

} // namespace abd
