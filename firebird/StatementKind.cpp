#include "firebird/StatementKind.h"

#include <QStringView>

namespace abd {

namespace {

/// Reads the significant words of a statement one at a time.
class WordReader {
public:
    explicit WordReader(const QString& text) : text_(text) {}

    /// The next word, upper-cased; empty at the end.
    QString Next() {
        const qsizetype n = text_.size();
        while (pos_ < n) {
            const QChar c = text_[pos_];
            if (c == QLatin1Char('(') || c == QLatin1Char(')')) {
                depth_ += c == QLatin1Char('(') ? 1 : -1;
                ++pos_;
            } else if (c == QLatin1Char('-') && pos_ + 1 < n && text_[pos_ + 1] == QLatin1Char('-')) {
                while (pos_ < n && text_[pos_] != QLatin1Char('\n'))
                    ++pos_;
            } else if (c == QLatin1Char('/') && pos_ + 1 < n && text_[pos_ + 1] == QLatin1Char('*')) {
                const qsizetype end = text_.indexOf(QStringLiteral("*/"), pos_ + 2);
                pos_ = end < 0 ? n : end + 2;
            } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
                SkipQuoted(c);
            } else if (c.isLetter() || c == QLatin1Char('_')) {
                const qsizetype start = pos_;
                while (pos_ < n && (text_[pos_].isLetterOrNumber() || text_[pos_] == QLatin1Char('_') ||
                                    text_[pos_] == QLatin1Char('$')))
                    ++pos_;
                return text_.mid(start, pos_ - start).toUpper();
            } else {
                ++pos_;
            }
        }
        return {};
    }

    /// Parentheses open before the word last read.
    int Depth() const { return depth_; }

private:
    void SkipQuoted(QChar quote) {
        ++pos_;
        while (pos_ < text_.size()) {
            if (text_[pos_] == quote) {
                if (pos_ + 1 < text_.size() && text_[pos_ + 1] == quote) {
                    pos_ += 2;
                    continue;
                }
                ++pos_;
                return;
            }
            ++pos_;
        }
    }

    const QString& text_;
    qsizetype pos_ = 0;
    int depth_ = 0;
};

bool HasLaterWord(WordReader& r, const QString& word) {
    for (QString w = r.Next(); !w.isEmpty(); w = r.Next())
        if (w == word)
            return true;
    return false;
}

StatementKind KindFrom(WordReader& r, QString first) {
    if (first == QLatin1String("SELECT"))
        return HasLaterWord(r, QStringLiteral("INTO")) ? StatementKind::Insert : StatementKind::Select;
    if (first == QLatin1String("WITH")) {
        // The common table expressions are in parentheses: the statement is the first statement word outside
        // them, and its own later words (FOR UPDATE of a select among them) do not change its kind.
        for (QString w = r.Next(); !w.isEmpty(); w = r.Next())
            if (r.Depth() == 0 &&
                (w == QLatin1String("SELECT") || w == QLatin1String("INSERT") || w == QLatin1String("UPDATE") ||
                 w == QLatin1String("DELETE") || w == QLatin1String("MERGE")))
                return KindFrom(r, w);
        return StatementKind::Other;
    }
    const bool returning = first == QLatin1String("INSERT") || first == QLatin1String("DELETE") ||
                           first == QLatin1String("MERGE");
    if (returning) {
        if (HasLaterWord(r, QStringLiteral("RETURNING")))
            return StatementKind::SelectForLock;
        return first == QLatin1String("INSERT")   ? StatementKind::Insert
               : first == QLatin1String("DELETE") ? StatementKind::Delete
                                                  : StatementKind::Merge;
    }
    if (first == QLatin1String("UPDATE")) {
        const QString second = r.Next();
        if (second == QLatin1String("OR") && r.Next() == QLatin1String("INSERT"))
            return StatementKind::Merge;
        return StatementKind::Update;
    }
    if (first == QLatin1String("TRUNCATE"))
        return StatementKind::Delete;
    if (first == QLatin1String("CREATE") || first == QLatin1String("DECLARE"))
        return StatementKind::Create;
    if (first == QLatin1String("ALTER"))
        return StatementKind::Alter;
    if (first == QLatin1String("DROP"))
        return StatementKind::Drop;
    if (first == QLatin1String("EXECUTE"))
        return StatementKind::Execute;
    if (first == QLatin1String("SET"))
        return r.Next() == QLatin1String("TRANSACTION") ? StatementKind::StartTransaction : StatementKind::Set;
    if (first == QLatin1String("COMMIT"))
        return StatementKind::Commit;
    if (first == QLatin1String("ROLLBACK"))
        return HasLaterWord(r, QStringLiteral("TO")) ? StatementKind::Other : StatementKind::Rollback;
    return StatementKind::Other;
}

} // namespace

StatementKind StatementKindOf(const QString& text) {
    WordReader r(text);
    const QString first = r.Next();
    if (first.isEmpty())
        return StatementKind::Unknown;
    return KindFrom(r, first);
}

bool IsImmediateKind(StatementKind k) {
    switch (k) {
    case StatementKind::Create:
    case StatementKind::Alter:
    case StatementKind::Drop:
    case StatementKind::StartTransaction:
    case StatementKind::Commit:
    case StatementKind::Rollback:
    case StatementKind::Set: return true;
    default: return false;
    }
}

bool IsDefinitionGroup(StatementKind k) { return IsImmediateKind(k); }

} // namespace abd
