#include "script/ScriptParser.h"

#include "firebird/Errors.h"
#include "script/Commands.h"
#include "script/ScriptRunner.h"

namespace abd {

namespace {
constexpr char16_t CR = u'\r', LF = u'\n';

bool IsWordChar(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '_' || u == '#' ||
           u == '$' || u > 255;
}

QChar UpperAscii(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') ? QChar(char16_t(u - 32)) : c;
}

bool IsAlnumStart(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '_';
}

/// Whether a command's extent holds only blanks and comments: such a command is empty and is not sent.
bool OnlyBlanksAndComments(QStringView text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        const char16_t c = text[i].unicode();
        if (c <= 32) {
            ++i;
        } else if (c == u'-' && i + 1 < n && text[i + 1] == QLatin1Char('-')) {
            while (i < n && text[i].unicode() != CR && text[i].unicode() != LF)
                ++i;
        } else if (c == u'/' && i + 1 < n && text[i + 1] == QLatin1Char('*')) {
            const qsizetype end = text.indexOf(QLatin1String("*/"), i + 2);
            if (end < 0)
                return true;
            i = end + 2;
        } else {
            return false;
        }
    }
    return true;
}

AccessError ScriptError(int code, const QString& text, const QStringList& args = {}) {
    return AccessError::Make({QStringLiteral("Comp"), QStringLiteral("Script")}, code, text, args);
}
} // namespace

ScriptParser::ScriptParser(const QStringList& lines, ScriptOptions& options, QString fileName)
    : ScriptParser(lines.join(QStringLiteral("\r\n")), options, std::move(fileName)) {}

ScriptParser::ScriptParser(QString text, ScriptOptions& options, QString fileName)
    : text_(std::move(text)), data_(text_.constData()), size_(text_.size()), options_(options),
      fileName_(std::move(fileName)) {}

void ScriptParser::UnGetChar() {
    if (pos_ <= 0)
        return;
    --pos_;
    --totalSize_;
    cur_ = pos_ > 0 ? text_[pos_ - 1] : QChar();
    beginningOfLine_ = pos_ == 0 || cur_ == QChar(CR) || cur_ == QChar(LF);
}

void ScriptParser::SetBookmark(qsizetype position) {
    totalSize_ += position - pos_;
    if (position > 0) {
        pos_ = std::min(position, text_.size());
        cur_ = text_[pos_ - 1];
        beginningOfLine_ = cur_ == QChar(CR) || cur_ == QChar(LF);
    } else {
        pos_ = 0;
        beginningOfLine_ = true;
    }
}

QString ScriptParser::ExtractString(qsizetype from, qsizetype to) const {
    if (from < 0)
        from = 0;
    to = std::min(to, text_.size() - 1);
    if (to < from)
        return {};
    return text_.mid(from, to - from + 1);
}

void ScriptParser::SkipWS() {
    while (cur_ == QLatin1Char(' ') || cur_ == QLatin1Char('\t'))
        GetChar();
}

void ScriptParser::SkipWSLF() {
    while (cur_ == QLatin1Char(' ') || cur_ == QLatin1Char('\t') || cur_ == QChar(CR) || cur_ == QChar(LF))
        GetChar();
}

bool ScriptParser::EndsLine() {
    if (cur_ == QChar(LF))
        return true;
    if (cur_ != QChar(CR) || options_.EndOfLine == elPosix)
        return false;
    if (pos_ >= text_.size())
        return true;
    if (text_[pos_] == QChar(LF)) {
        GetChar();
        return true;
    }
    return false;
}

bool ScriptParser::MatchTerminatorHere() {
    const QString& t = options_.ActualCommandSeparator;
    if (t.isEmpty() || IsEnd())
        return false;
    const qsizetype start = pos_ - 1; // index of the current character
    if (start < 0 || start + t.size() > text_.size())
        return false;
    for (qsizetype i = 0; i < t.size(); ++i)
        if (UpperAscii(text_[start + i]) != t[i])
            return false;
    for (qsizetype i = 1; i < t.size(); ++i)
        GetChar();
    return true;
}

QString ScriptParser::ReadQuoted(QChar quote) {
    QString value;
    for (;;) {
        GetChar();
        if (IsEnd() || cur_ == QChar(CR) || cur_ == QChar(LF))
            return value;
        if (cur_ == quote) {
            if (pos_ < text_.size() && text_[pos_] == quote) {
                GetChar();
                value += quote;
                continue;
            }
            GetChar(); // the character after the closing quote becomes current
            return value;
        }
        value += cur_;
    }
}

QStringView ScriptParser::ReadBare(Bare kind, bool required) {
    const bool terminatorEnds = kind != Bare::StringInFull;
    auto continues = [&](QChar c) {
        switch (kind) {
        case Bare::UCWord: return IsWordChar(c);
        case Bare::Identifier:
            return IsWordChar(c) || c == QLatin1Char('.') || c == QLatin1Char(':') || c == QLatin1Char('@');
        case Bare::Line: return c != QChar(CR) && c != QChar(LF);
        case Bare::String:
        case Bare::StringInFull:
            return c != QLatin1Char(' ') && c != QLatin1Char('\t') && c != QChar(CR) && c != QChar(LF);
        }
        return false;
    };
    const QString& t = options_.ActualCommandSeparator;
    const QChar firstOfT = t.isEmpty() ? QChar() : t.front();
    // A terminator right where the token would start ends it empty, and is read whole: its last character
    // becomes current (the "!!" that ends "SET TERM ; !!" is not left half-read).
    if (terminatorEnds && !required && !IsEnd() && !firstOfT.isNull() && UpperAscii(cur_) == firstOfT &&
        MatchTerminatorHere())
        return {};
    // A bare token is one run of the text: a view of it, taken at its end.
    if (IsEnd() || !continues(cur_))
        return {};
    const qsizetype start = pos_ - 1;
    bool first = true;
    while (!IsEnd() && continues(cur_)) {
        // With `required` the first character is taken before any comparison with the terminator.
        if (terminatorEnds && !(required && first) && !firstOfT.isNull() && UpperAscii(cur_) == firstOfT) {
            const qsizetype at = pos_ - 1;
            if (MatchTerminatorHere())
                return QStringView(text_).mid(start, at - start);
        }
        first = false;
        GetChar();
    }
    return QStringView(text_).mid(start, (IsEnd() ? size_ : pos_ - 1) - start);
}

QString ScriptParser::ReadToken(Bare kind, bool required) {
    SkipWS();
    const bool quotes = kind != Bare::UCWord;
    if (quotes && (cur_ == QLatin1Char('"') || ((kind == Bare::Line || kind == Bare::String ||
                                                 kind == Bare::StringInFull) && cur_ == QLatin1Char('\''))))
        return ReadQuoted(cur_);
    return ReadBare(kind, required).toString();
}

QStringView ScriptParser::GetUCWordView() {
    SkipWS();
    return ReadBare(Bare::UCWord, false);
}

QString ScriptParser::GetUCWord() { return ReadToken(Bare::UCWord, false).toUpper(); }
QString ScriptParser::GetIdentifier() { return ReadToken(Bare::Identifier, false); }
QString ScriptParser::GetLine() { return ReadToken(Bare::Line, false); }
QString ScriptParser::GetString(bool required) { return ReadToken(Bare::String, required); }
QString ScriptParser::GetStringInFull() { return ReadToken(Bare::StringInFull, false); }

int ScriptParser::GetOnOff() {
    const QString w = GetUCWord();
    if (w == QLatin1String("ON"))
        return 1;
    if (w == QLatin1String("OFF"))
        return -1;
    throw ScriptError(803, QStringLiteral("Invalid SET command argument"));
}

int ScriptParser::GetNumber(int defaultValue) {
    const QString w = GetUCWord();
    if (w == QLatin1String("OFF"))
        return -1;
    if (w == QLatin1String("ON"))
        return defaultValue;
    bool ok = false;
    const int n = w.toInt(&ok);
    if (!ok)
        throw ScriptError(803, QStringLiteral("Invalid SET command argument"));
    return n;
}

void ScriptParser::SkipToCommandEnd() {
    QChar quote;
    for (;;) {
        if (IsEnd())
            return;
        if (!quote.isNull()) {
            if (cur_ == quote)
                quote = QChar();
        } else if (cur_ == QLatin1Char('\'') || cur_ == QLatin1Char('"')) {
            quote = cur_;
        } else if (cur_ == QChar(CR) || cur_ == QChar(LF)) {
            UnGetChar();
            return;
        } else if (MatchTerminatorHere()) {
            return;
        }
        GetChar();
        if (!quote.isNull() && (cur_ == QChar(CR) || cur_ == QChar(LF)))
            quote = QChar();
    }
}

QString ScriptParser::SkipToTerminator() {
    const qsizetype from = pos_ - 1;
    QChar quote;
    bool lineComment = false, blockComment = false;
    for (; !IsEnd(); GetChar()) {
        const QChar c = cur_;
        const QChar next = pos_ < size_ ? data_[pos_] : QChar();
        if (lineComment) {
            lineComment = c != QChar(CR) && c != QChar(LF);
        } else if (blockComment) {
            if (c == QLatin1Char('*') && next == QLatin1Char('/')) {
                GetChar();
                blockComment = false;
            }
        } else if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
        } else if (c == QLatin1Char('-') && next == QLatin1Char('-')) {
            lineComment = true;
        } else if (c == QLatin1Char('/') && next == QLatin1Char('*')) {
            blockComment = true;
        } else {
            const qsizetype at = pos_ - 1;
            if (MatchTerminatorHere())
                return ExtractString(from, at - 1);
        }
    }
    return ExtractString(from, size_ - 1);
}

void ScriptParser::InvalidSyntax() const {
    throw ScriptError(804, QStringLiteral("Invalid command [%s] syntax"), {lastKeyword_});
}

std::unique_ptr<ScriptCommand> ScriptParser::ExtractCommand(ScriptRunner& runner) {
    qsizetype S = pos_;
    bool blockComment = false, lineComment = false, singleQuote = false, doubleQuote = false;
    int depth = 0;
    std::unique_ptr<ScriptCommand> command;
    bool startFixed = false;
    bool commandIsBlock = false;
    // A block statement under ";" ends at the ";" right after the END that closes its body, or at the first ";"
    // when it has no body (EXTERNAL ... ENGINE); BEGIN and CASE open, END closes.
    std::vector<char16_t> openers;
    bool bodyClosedHere = false;
    bool bodyStarted = false;
    bool external = false;
    int startLine = 0, startColumn = 0;
    // The terminator changes only between calls (a script command applies it after it is returned).
    const QString T = options_.ActualCommandSeparator;
    const bool semicolon = T == QLatin1String(";");
    const bool slashEnds = semicolon || T == QLatin1String("/");
    const QChar firstOfT = T.isEmpty() ? QChar() : T[0];
    const bool letterStart = !T.isEmpty() && IsAlnumStart(firstOfT);
    const auto& registry = ScriptCommandRegistry::Instance();
    // Characters that can change the scan state once a command is under way; all others are skipped in runs.
    bool special[128] = {};
    for (char ch : {'\r', '\n', '\'', '"', '(', ')', '*', '-', '/'})
        special[static_cast<unsigned char>(ch)] = true;
    if (!T.isEmpty() && firstOfT.unicode() < 128) {
        special[firstOfT.unicode()] = true;
        if (firstOfT.unicode() >= 'A' && firstOfT.unicode() <= 'Z')
            special[firstOfT.unicode() + 32] = true;
    }
    auto isSpecial = [&](char16_t u) { return u < 128 ? special[u] : u == firstOfT.unicode(); };

    // Finishing with the position just after the first character of what ends the command.
    auto finish = [&](qsizetype P) -> bool {
        const QString extent = ExtractString(S, P - 2);
        bool empty = extent.size() < 2;
        if (!empty)
            empty = OnlyBlanksAndComments(extent);
        if (empty) {
            command.reset();
            commandIsBlock = false;
            openers.clear();
            bodyClosedHere = bodyStarted = external = false;
            S = pos_;
            startFixed = false;
            return false;
        }
        if (!command)
            command = std::make_unique<SqlStatementCommand>(*this, runner);
        command->Text = extent;
        return true;
    };

    bool complete = false;
    while (!complete) {
        // A run of characters that changes nothing is passed over at once (in a block statement under ";" its
        // words count, so only comments and quotes are passed over there).
        const bool trackWords = commandIsBlock && semicolon;
        if ((command || blockComment || lineComment || singleQuote || doubleQuote || depth != 0) &&
            (!trackWords || blockComment || lineComment || singleQuote || doubleQuote)) {
            qsizetype p = pos_;
            if (lineComment && !blockComment) {
                while (p < size_ && data_[p].unicode() != CR && data_[p].unicode() != LF)
                    ++p;
            } else if (blockComment) {
                while (p < size_ && data_[p].unicode() != u'*' && data_[p].unicode() != CR && data_[p].unicode() != LF)
                    ++p;
            } else if (singleQuote || doubleQuote) {
                const char16_t quote = singleQuote ? u'\'' : u'"';
                while (p < size_ && data_[p].unicode() != quote && data_[p].unicode() != CR && data_[p].unicode() != LF)
                    ++p;
            } else {
                while (p < size_ && !isSpecial(data_[p].unicode()))
                    ++p;
            }
            if (p > pos_) {
                totalSize_ += p - pos_;
                pos_ = p;
                cur_ = data_[p - 1];
                beginningOfLine_ = false;
            }
        }
        // Step 2: read a character.
        wasBeginningOfLine_ = beginningOfLine_;
        GetChar();
        if (lineNumber_ == 0 && !IsEnd())
            lineNumber_ = 1;
        if (runner.StopRequested())
            return nullptr;
        if (!startFixed && cur_.unicode() > 32) {
            startFixed = true;
            startLine = lineNumber_ > 0 ? lineNumber_ - 1 : 0;
            startColumn = static_cast<int>(pos_ - 1 - lineStart_);
        }
        const qsizetype P = pos_;
        const QChar c = cur_;
        const bool quoted = singleQuote || doubleQuote;
        const bool commented = blockComment || lineComment;

        // Step 3.
        if (IsEnd()) {
            if ((!command || command->IsStatement()) && finish(P + 1))
                command->Unterminated = true;
            complete = true;
            break;
        }
        bool other = false;
        switch (c.unicode()) {
        case CR:
        case LF:
            if (EndsLine()) {
                ++lineNumber_;
                lineStart_ = pos_;
                if (lineComment && !blockComment)
                    lineComment = false;
                continue;
            }
            other = true;
            break;
        case u'"':
            if (!blockComment && !lineComment && !singleQuote) {
                doubleQuote = !doubleQuote;
                continue;
            }
            other = true;
            break;
        case u'\'':
            if (!blockComment && !lineComment && !doubleQuote) {
                singleQuote = !singleQuote;
                continue;
            }
            other = true;
            break;
        case u'(':
            if (!commented && !quoted) {
                ++depth;
                continue;
            }
            other = true;
            break;
        case u')':
            if (!commented && !quoted) {
                --depth;
                continue;
            }
            other = true;
            break;
        case u'*':
            GetChar();
            if (!lineComment && !quoted && cur_ == QLatin1Char('/')) {
                blockComment = false;
                continue;
            }
            SetBookmark(P);
            other = true;
            break;
        case u'-':
            GetChar();
            if (!blockComment && !quoted && cur_ == QLatin1Char('-')) {
                lineComment = true;
                continue;
            }
            SetBookmark(P);
            other = true;
            break;
        case u'/':
            if (commented || quoted) {
                other = true;
                break;
            }
            GetChar();
            if (cur_ == QLatin1Char('*')) {
                blockComment = true;
                continue;
            }
            SetBookmark(P);
            if (slashEnds && wasBeginningOfLine_) {
                if (finish(P)) {
                    complete = true;
                    break;
                }
            }
            other = true;
            break;
        default: other = true; break;
        }
        if (complete)
            break;
        if (!other)
            continue;

        // Step 4: inside comments, quotes or parentheses nothing ends the command.
        if (blockComment || lineComment || singleQuote || doubleQuote)
            continue;
        const bool blockSemicolon = commandIsBlock && semicolon;
        if (blockSemicolon && c.unicode() > 32 && c != QLatin1Char(';')) {
            const bool wordStart = (c.isLetter() || c == QLatin1Char('_')) && (P < 2 || !IsWordChar(data_[P - 2]));
            if (!wordStart) {
                bodyClosedHere = false;
                continue;
            }
            qsizetype end = P;
            while (end < size_ && IsWordChar(data_[end]))
                ++end;
            const QStringView word = QStringView(text_).mid(P - 1, end - P + 1);
            auto is = [&](const char* w) { return word.compare(QLatin1String(w), Qt::CaseInsensitive) == 0; };
            bodyClosedHere = false;
            if (is("BEGIN")) {
                openers.push_back(u'B');
                bodyStarted = true;
            } else if (is("CASE")) {
                openers.push_back(u'C');
            } else if (is("END") && !openers.empty()) {
                const char16_t opener = openers.back();
                openers.pop_back();
                bodyClosedHere = opener == u'B' && openers.empty();
            } else if (is("EXTERNAL")) {
                external = true;
            }
            if (end > P)
                SetBookmark(end);
            continue;
        }
        if (depth != 0)
            continue;
        const bool blockMayEnd = blockSemicolon && (bodyClosedHere || (!bodyStarted && external));
        if ((!blockSemicolon || blockMayEnd) && !T.isEmpty()) {
            if (UpperAscii(c) == firstOfT && (!letterStart || wasBeginningOfLine_)) {
                bool match = true;
                for (qsizetype i = 1; i < T.size() && match; ++i) {
                    GetChar();
                    match = !IsEnd() && UpperAscii(cur_) == T[i];
                }
                if (match) {
                    GetChar(); // past the terminator
                    if (letterStart && !(IsEnd() || cur_ == QLatin1Char('\t') || cur_ == QChar(LF) ||
                                         cur_ == QChar(CR) || cur_ == QLatin1Char(' ')))
                        match = false;
                }
                if (match) {
                    if (!IsEnd())
                        UnGetChar();
                    if (finish(P)) {
                        complete = true;
                        break;
                    }
                    continue;
                }
                SetBookmark(P);
            }
        }

        // Step 5: the first word decides what the command is.
        if (command)
            continue;
        QString word;
        bool kept = false;
        const bool isLetter = c.isLetter();
        const bool atLineStart = wasBeginningOfLine_;
        if (registry.MayStartKeyword(UpperAscii(c))) {
            word = QString(UpperAscii(c));
            for (;;) {
                const CommandType* type = nullptr;
                const LookupResult r = registry.LookupCommand(word, &type);
                if (r == ucNone) {
                    if (word.size() > 1)
                        SetBookmark(P);
                    word.clear();
                    break;
                }
                GetChar();
                if (r == ucPartial) {
                    if (IsEnd()) {
                        SetBookmark(P);
                        word.clear();
                        break;
                    }
                    word += UpperAscii(cur_);
                    continue;
                }
                if (isLetter && (cur_.isLetterOrNumber() || cur_ == QLatin1Char('_') || cur_ == QLatin1Char('#') ||
                                 cur_ == QLatin1Char('$') || cur_ == QLatin1Char('-'))) {
                    word += UpperAscii(cur_);
                    continue;
                }
                lastKeyword_ = word;
                keywordAtLineStart_ = atLineStart;
                auto candidate = type->Create(*this, runner);
                candidate->Line = startLine;
                candidate->Column = startColumn;
                const qsizetype afterKeyword = pos_;
                if (candidate->Parse(word)) {
                    command = std::move(candidate);
                    complete = true;
                } else {
                    // A declined command leaves the rest of the text to be scanned as a statement.
                    SetBookmark(afterKeyword);
                    UnGetChar();
                    kept = true;
                }
                break;
            }
        }
        if (complete)
            break;

        // Step 5.2: classification.
        QStringView classifier;
        if (kept) {
            GetChar();
            classifier = word;
        } else if (isLetter) {
            if (pos_ != P)
                SetBookmark(P);
            classifier = GetUCWordView();
        } else {
            continue;
        }
        auto is = [](QStringView w, const char* name) { return w.compare(QLatin1String(name), Qt::CaseInsensitive) == 0; };
        // The first word decides: a statement's later words (a table called QUIT, a procedure called HELP) are
        // never taken for script commands.
        if (is(classifier, "EXECUTE")) {
            SkipWSLF();
            if (is(GetUCWordView(), "BLOCK")) {
                command = std::make_unique<BlockStatementCommand>(*this, runner);
                commandIsBlock = true;
            } else {
                command = std::make_unique<SqlStatementCommand>(*this, runner);
            }
        } else if (is(classifier, "CREATE") || is(classifier, "RECREATE")) {
            const bool create = is(classifier, "CREATE");
            SkipWSLF();
            QStringView next = GetUCWordView();
            if (create && is(next, "DATABASE")) {
                command = MakeCreateDatabaseCommand(*this, runner);
            } else {
                if (is(next, "OR")) {
                    SkipWSLF();
                    next = GetUCWordView();
                    if (is(next, "REPLACE") || is(next, "ALTER")) {
                        SkipWSLF();
                        next = GetUCWordView();
                    }
                }
                if (is(next, "PROCEDURE") || is(next, "FUNCTION") || is(next, "PACKAGE") || is(next, "TYPE") ||
                    is(next, "TRIGGER") || is(next, "VARIABLE")) {
                    command = std::make_unique<BlockStatementCommand>(*this, runner);
                    commandIsBlock = true;
                } else {
                    command = std::make_unique<SqlStatementCommand>(*this, runner);
                }
            }
        } else {
            command = std::make_unique<SqlStatementCommand>(*this, runner);
        }
        if (command) {
            command->Line = startLine;
            command->Column = startColumn;
        }
        if (!(IsEnd() || cur_ == QLatin1Char('\t') || cur_ == QLatin1Char(' ')))
            UnGetChar();
    }

    // Step 6: the command is complete.
    if (command) {
        echoFrom_ = std::max<qsizetype>(S, 0);
        echoLength_ = std::max<qsizetype>(0, std::min(pos_ + 1, size_) - echoFrom_);
        runner.EchoCommand(*command, EchoText());
    }
    GetChar();
    SkipWS();
    if ((cur_ == QChar(CR) || cur_ == QChar(LF)) && EndsLine()) {
        ++lineNumber_;
        lineStart_ = pos_;
    } else if (!IsEnd()) {
        UnGetChar();
    }
    return command;
}

} // namespace abd
