#include "script/StatementText.h"

#include "firebird/StatementKind.h"

#include <QRegularExpression>

namespace abd {

namespace {
bool IsNameStart(QChar c) { return c.isLetter() || c == QLatin1Char('_'); }
bool IsNameChar(QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$'); }

/// Where the quoted text or comment that starts at `i` ends (one past it); `i` itself when none starts there.
qsizetype SkipQuotedOrComment(const QString& t, qsizetype i) {
    const qsizetype n = t.size();
    const QChar c = t[i];
    if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
        qsizetype j = i + 1;
        while (j < n) {
            if (t[j] == c) {
                if (j + 1 < n && t[j + 1] == c) {
                    j += 2;
                    continue;
                }
                return j + 1;
            }
            ++j;
        }
        return n;
    }
    if (c == QLatin1Char('-') && i + 1 < n && t[i + 1] == QLatin1Char('-')) {
        qsizetype j = i + 2;
        while (j < n && t[j] != QLatin1Char('\n') && t[j] != QLatin1Char('\r'))
            ++j;
        return j;
    }
    if (c == QLatin1Char('/') && i + 1 < n && t[i + 1] == QLatin1Char('*')) {
        const qsizetype end = t.indexOf(QStringLiteral("*/"), i + 2);
        return end < 0 ? n : end + 2;
    }
    return i;
}

/// The translation of the escape that starts at the "{" at `i`, and where it ends; empty when it is none.
QString Escape(const QString& t, qsizetype i, qsizetype& end) {
    const qsizetype close = t.indexOf(QLatin1Char('}'), i + 1);
    if (close < 0)
        return {};
    const QString inner = t.mid(i + 1, close - i - 1).trimmed();
    const qsizetype blank = inner.indexOf(QRegularExpression(QStringLiteral("\\s")));
    if (blank < 0)
        return {};
    const QString kind = inner.left(blank).toLower();
    const QString rest = inner.mid(blank).trimmed();
    QString out;
    if (kind == QLatin1String("d"))
        out = QStringLiteral("DATE ") + rest;
    else if (kind == QLatin1String("t"))
        out = QStringLiteral("TIME ") + rest;
    else if (kind == QLatin1String("ts"))
        out = QStringLiteral("TIMESTAMP ") + rest;
    else if (kind == QLatin1String("fn"))
        out = rest;
    else if (kind == QLatin1String("escape"))
        out = QStringLiteral("ESCAPE ") + rest;
    else
        return {};
    end = close + 1;
    return out;
}
} // namespace

StatementText TranslateStatement(const QString& text) {
    StatementText result;
    // Most statements have neither: they go as they are.
    if (!text.contains(QLatin1Char(':')) && !text.contains(QLatin1Char('{'))) {
        result.Sql = text;
        return result;
    }
    QString& out = result.Sql;
    out.reserve(text.size());
    bool markers = true;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        const qsizetype skipped = SkipQuotedOrComment(text, i);
        if (skipped > i) {
            out += QStringView(text).mid(i, skipped - i);
            i = skipped;
            continue;
        }
        const QChar c = text[i];
        if (IsNameStart(c) && (i == 0 || !IsNameChar(text[i - 1]))) {
            qsizetype j = i;
            while (j < n && IsNameChar(text[j]))
                ++j;
            const QStringView word = QStringView(text).mid(i, j - i);
            if (word.compare(QLatin1String("BEGIN"), Qt::CaseInsensitive) == 0)
                markers = false;
            out += word;
            i = j;
            continue;
        }
        if (c == QLatin1Char(':') && markers && i + 1 < n && IsNameStart(text[i + 1]) &&
            (i == 0 || text[i - 1] != QLatin1Char(':'))) {
            qsizetype j = i + 1;
            while (j < n && IsNameChar(text[j]))
                ++j;
            result.Parameters << text.mid(i + 1, j - i - 1);
            out += QLatin1Char('?');
            i = j;
            continue;
        }
        if (c == QLatin1Char('{')) {
            qsizetype end = i;
            const QString escape = Escape(text, i, end);
            if (!escape.isEmpty()) {
                out += escape;
                i = end;
                continue;
            }
        }
        out += c;
        ++i;
    }
    return result;
}

bool IsDefinitionStatement(StatementKind kind, const QString& text) {
    switch (kind) {
    case StatementKind::Create:
    case StatementKind::Alter:
    case StatementKind::Drop: return true;
    case StatementKind::Other: {
        // RECREATE, GRANT, REVOKE and COMMENT ON are definitions too: the first word after blanks and comments.
        qsizetype i = 0;
        while (i < text.size()) {
            if (text[i].unicode() <= 32) {
                ++i;
                continue;
            }
            const qsizetype skipped = text[i] == QLatin1Char('\'') || text[i] == QLatin1Char('"')
                                          ? i
                                          : SkipQuotedOrComment(text, i);
            if (skipped == i)
                break;
            i = skipped;
        }
        qsizetype j = i;
        while (j < text.size() && IsNameChar(text[j]))
            ++j;
        const QStringView first = QStringView(text).mid(i, j - i);
        for (const char* w : {"RECREATE", "GRANT", "REVOKE", "COMMENT"})
            if (first.compare(QLatin1String(w), Qt::CaseInsensitive) == 0)
                return true;
        return false;
    }
    default: return false;
    }
}

} // namespace abd
