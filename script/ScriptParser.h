#pragma once

#include "script/ScriptCommand.h"
#include "script/ScriptOptions.h"

#include <QString>
#include <QStringList>
#include <memory>

namespace abd {

/// Cuts the text of one SQL script into commands, one per call; a pure function of its text and options.
class ScriptParser {
public:
    /// The lines are read joined with CR LF, without a line break after the last one.
    ScriptParser(const QStringList& lines, ScriptOptions& options, QString fileName = QString());
    /// A script as one text, its line breaks as they are (a file's own).
    ScriptParser(QString text, ScriptOptions& options, QString fileName = QString());
    /// The parser reads its own copy of the text through a pointer: it is never copied.
    ScriptParser(const ScriptParser&) = delete;
    ScriptParser& operator=(const ScriptParser&) = delete;

    /// The next command, already parsed for a script command; nullptr when the text is exhausted or a stop
    /// was requested. Raises the errors of script commands' arguments (803, 804).
    std::unique_ptr<ScriptCommand> ExtractCommand(ScriptRunner& runner);

    // Reading.
    QChar GetChar() {
        if (pos_ >= size_) {
            cur_ = QChar();
            return cur_;
        }
        cur_ = data_[pos_++];
        ++totalSize_;
        beginningOfLine_ = cur_.unicode() == u'\r' || cur_.unicode() == u'\n';
        return cur_;
    }
    void UnGetChar();
    qsizetype GetBookmark() const { return pos_; }
    void SetBookmark(qsizetype position);
    QString ExtractString(qsizetype from, qsizetype to) const;
    QChar Current() const { return cur_; }
    bool AtEnd() const { return pos_ >= text_.size() && cur_.isNull(); }
    void SkipWS();
    void SkipWSLF();

    // Token readers for the script commands.
    QString GetUCWord();
    QString GetIdentifier();
    QString GetLine();
    QString GetString(bool required);
    QString GetStringInFull();
    int GetOnOff();
    int GetNumber(int defaultValue);
    /// Consumes a command's remaining arguments up to its terminator or the end of its line.
    void SkipToCommandEnd();
    /// Consumes a command's remaining arguments up to its terminator, over as many lines as they take (quotes and
    /// comments skipped); returns them as written.
    QString SkipToTerminator();
    [[noreturn]] void InvalidSyntax() const;

    /// Whether the keyword of the command being parsed began its line.
    bool KeywordAtLineStart() const { return keywordAtLineStart_; }
    int LineNumber() const { return lineNumber_; }
    qsizetype TotalSize() const { return totalSize_; }
    const QString& FileName() const { return fileName_; }
    const QString& Text() const { return text_; }
    ScriptOptions& Options() { return options_; }
    /// The script text from the command's start through its terminator and the character after it.
    QStringView EchoText() const { return QStringView(text_).mid(echoFrom_, echoLength_); }

private:
    enum class Bare { UCWord, Identifier, Line, String, StringInFull };
    QString ReadToken(Bare kind, bool required);
    QStringView ReadBare(Bare kind, bool required);
    /// GetUCWord without a copy: a view of the text, compared without regard to case.
    QStringView GetUCWordView();
    QString ReadQuoted(QChar quote);
    /// At the current character: when the terminator starts here, consumes it (its last character becomes
    /// current) and answers true; otherwise leaves everything as it was.
    bool MatchTerminatorHere();
    bool EndsLine();
    bool IsEnd() const { return pos_ >= size_ && cur_.isNull(); }

    QString text_;
    const QChar* data_ = nullptr;
    qsizetype size_ = 0;
    ScriptOptions& options_;
    QString fileName_;
    qsizetype pos_ = 0;
    QChar cur_;
    bool beginningOfLine_ = true;
    bool wasBeginningOfLine_ = true;
    int lineNumber_ = 0;
    qsizetype lineStart_ = 0;
    qsizetype totalSize_ = 0;
    QString lastKeyword_;
    bool keywordAtLineStart_ = false;
    qsizetype echoFrom_ = 0;
    qsizetype echoLength_ = 0;
};

} // namespace abd
