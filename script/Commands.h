#pragma once

#include "script/ScriptCommand.h"

namespace abd {

class ScriptCommandRegistry;

/// An SQL statement; the runner sends its text to the database.
class SqlStatementCommand : public ScriptCommand {
public:
    using ScriptCommand::ScriptCommand;
    bool IsStatement() const override { return true; }
    void Execute() override;
};

/// An SQL statement with a procedural body: ";" does not end it.
class BlockStatementCommand : public SqlStatementCommand {
public:
    using SqlStatementCommand::SqlStatementCommand;
};

/// The CREATE DATABASE command, made by the classification without parsing its arguments.
std::unique_ptr<ScriptCommand> MakeCreateDatabaseCommand(ScriptParser& parser, ScriptRunner& runner);

/// Registers the table of script commands, in their order.
void RegisterStandardCommands(ScriptCommandRegistry& registry);

} // namespace abd
