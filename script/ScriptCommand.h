#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

namespace abd {

class ScriptParser;
class ScriptRunner;

/// Every command of a script: the runner's own commands and SQL statements alike.
class ScriptCommand {
public:
    ScriptCommand(ScriptParser& parser, ScriptRunner& runner) : parser_(parser), runner_(runner) {}
    virtual ~ScriptCommand() = default;

    /// Reads the command's arguments with the parser's token readers; false declines.
    virtual bool Parse(const QString& keyword) {
        (void)keyword;
        return true;
    }
    /// What the command does in the execution pass.
    virtual void Execute() {}
    /// What the command does in the validation pass.
    virtual void Validate() {}
    virtual bool IsStatement() const { return false; }

    /// Text of an SQL statement, as it stands in the script (also set on a command that runs into its terminator).
    QString Text;
    /// Line and column, both from 0, of the command's first character above code 32.
    int Line = 0;
    int Column = 0;
    /// A statement that the end of the script ended, not its terminator.
    bool Unterminated = false;

protected:
    ScriptParser& parser_;
    ScriptRunner& runner_;
};

using CommandFactory = std::function<std::unique_ptr<ScriptCommand>(ScriptParser&, ScriptRunner&)>;

struct CommandType {
    QString Name;
    QStringList Keywords;
    CommandFactory Create;
};

enum LookupResult { ucNone, ucPartial, ucShort, ucExact };

/// The process's table of script commands and their keywords.
class ScriptCommandRegistry {
public:
    static ScriptCommandRegistry& Instance();

    void AddCommand(CommandType type);
    const std::vector<CommandType>& Commands() const { return commands_; }
    /// Looks an upper-case word up: none, a beginning, a word inside a keyword's optional tail, or a whole keyword.
    LookupResult LookupCommand(const QString& word, const CommandType** type = nullptr) const;
    /// Whether any keyword starts with this (upper-case) character.
    bool MayStartKeyword(QChar c) const { return c.unicode() < 128 && firstChars_[c.unicode()]; }

private:
    ScriptCommandRegistry() = default;
    struct Keyword {
        QString Upper;
        int Mandatory = 0;
        std::size_t Type = 0;
    };
    std::vector<CommandType> commands_;
    std::vector<Keyword> keywords_;
    bool firstChars_[128] = {};                 // ASCII characters some keyword starts with
    std::vector<std::size_t> byFirstChar_[128]; // the keywords that start with each of them
};

} // namespace abd
