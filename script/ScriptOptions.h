#pragma once

#include <QString>

namespace abd {

enum EchoCommands { ecNone, ecSQL, ecAll };
enum FileEndOfLine { elDefault, elWindows, elPosix };

/// How a ScriptRunner behaves; a pass restores them at its end, so a script's SET ends with the pass.
struct ScriptOptions {
    int CommitEachNCommands = 0;
    EchoCommands Echo = ecSQL;
    int EchoCommandTrim = 50;
    bool FeedbackCommands = true;
    bool FeedbackScript = true;
    bool ConsoleOutput = true;
    bool Timing = true;
    bool BreakOnError = false;
    bool IgnoreError = false;
    bool DropNonexistObj = true;
    QString CommandSeparator;
    bool MacroExpand = true;
    bool TrimConsole = false;
    FileEndOfLine EndOfLine = elDefault;
    /// The terminator in force: CommandSeparator trimmed and upper-cased, ";" when empty.
    QString ActualCommandSeparator = QStringLiteral(";");

    void UpdateActualSeparator() {
        ActualCommandSeparator = CommandSeparator.trimmed().toUpper();
        if (ActualCommandSeparator.isEmpty())
            ActualCommandSeparator = QStringLiteral(";");
    }
};

} // namespace abd
