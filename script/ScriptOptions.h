#pragma once

#include <QString>

namespace abd {

enum EchoCommands { ecNone, ecSQL, ecAll };
enum FileEndOfLine { elDefault, elWindows, elPosix };

/// Upper case for ASCII letters only, as the terminator is compared with the text: a terminator with other
/// letters (U+00FF of SET TERM OFF among them) stays as written on both sides.
inline QString AsciiUpper(const QString& text) {
    QString out = text;
    for (QChar& c : out)
        if (c.unicode() >= u'a' && c.unicode() <= u'z')
            c = QChar(char16_t(c.unicode() - 32));
    return out;
}

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
    /// Commit after each successful definition statement (isql's SET AUTODDL); off, so that an upgrade step
    /// stays one transaction.
    bool AutoDDL = false;
    /// Prepare statements without executing them (isql's SET PLANONLY).
    bool PlanOnly = false;
    FileEndOfLine EndOfLine = elDefault;
    /// The terminator in force: CommandSeparator trimmed and upper-cased, ";" when empty.
    QString ActualCommandSeparator = QStringLiteral(";");

    void UpdateActualSeparator() {
        ActualCommandSeparator = AsciiUpper(CommandSeparator.trimmed());
        if (ActualCommandSeparator.isEmpty())
            ActualCommandSeparator = QStringLiteral(";");
    }
};

} // namespace abd
