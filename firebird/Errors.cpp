#include "firebird/Errors.h"

#include <algorithm>
#include <initializer_list>

namespace abd {

namespace {
constexpr std::intptr_t isc_arg_gds = 1, isc_arg_string = 2, isc_arg_cstring = 3,
                        isc_arg_number = 4, isc_arg_warning = 18;

bool OneOf(std::intptr_t value, std::initializer_list<std::intptr_t> set) {
    return std::find(set.begin(), set.end(), value) != set.end();
}

std::intptr_t At(const StatusWords& w, std::size_t i) { return i < w.size() ? w[i] : 0; }

bool IsStringArg(std::intptr_t t) { return t == isc_arg_string || t == isc_arg_cstring; }
} // namespace

AccessError AccessError::Make(const QStringList& layers, int code, const QString& text, const QStringList& args) {
    QString filled = text;
    const int placeholders = text.count(QStringLiteral("%s"));
    if (placeholders == args.size()) {
        qsizetype from = 0;
        for (const QString& a : args) {
            const qsizetype at = filled.indexOf(QStringLiteral("%s"), from);
            filled.replace(at, 2, a);
            from = at + a.size();
        }
    }
    QString message = QStringLiteral("[Dravix]");
    for (const QString& l : layers)
        message += QLatin1Char('[') + l + QLatin1Char(']');
    message += QLatin1Char('-') + QString::number(code) + QStringLiteral(". ") + filled;
    return AccessError(code, message);
}

DatabaseError::DatabaseError(std::vector<DatabaseErrorItem> items)
    : AccessError(kCode, kDatabaseErrorPrefix + (items.empty() ? QString() : items.front().Message)),
      items_(std::move(items)) {
    for (const auto& i : items_)
        if (i.Kind != ekOther) {
            kind_ = i.Kind;
            break;
        }
}

void DatabaseError::SetRowIndex(int row) {
    for (auto& i : items_)
        i.RowIndex = row;
}

bool IsWarningVector(const StatusWords& w) {
    return At(w, 0) == isc_arg_gds && At(w, 1) == 0 && At(w, 2) == isc_arg_warning;
}

Classification ClassifyStatus(const StatusWords& w) {
    Classification c;
    const std::intptr_t primary = At(w, 1);
    const std::size_t words = w.size();
    if (OneOf(primary, {100, 335544338, 335544374})) {
        c.Kind = ekNoDataFound;
    } else if (primary == 335544652) {
        c.Kind = ekTooManyRows;
    } else if (OneOf(primary, {335544336, 335544345, 335544476})) {
        c.Kind = ekRecordLocked;
    } else if (primary == 335544665) {
        c.Kind = ekUKViolated, c.TakesObjectName = true;
    } else if (primary == 335544466) {
        c.Kind = ekFKViolated, c.TakesObjectName = true;
    } else if (primary == 335544472) {
        c.Kind = ekUserPwdInvalid;
    } else if (primary == 335544794) {
        c.Kind = ekCmdAborted;
    } else if (OneOf(primary, {335544375, 335544528, 335544648, 335544741, 335544856}) ||
               (primary >= 335544721 && primary <= 335544727)) {
        c.Kind = ekServerGone;
    } else if (primary == 335544351) {
        const bool random = At(w, 0) == 1 && At(w, 2) == 1 && At(w, 3) == 335544382 && (words == 6 || words == 8);
        const bool second =
            words > 9 && At(w, 6) == 1 &&
            OneOf(At(w, 7), {336068645, 336068649, 336068656, 336068697, 336068748, 336068752, 336068754,
                             336068755, 336068759, 336068760, 336068763, 336068822, 336068864, 336068865});
        const bool third = words >= 16 && At(w, 12) == 1 &&
                           OneOf(At(w, 13), {336068849, 336397206, 336068662, 336397207});
        if (random || second || third)
            c.Kind = ekObjNotExists, c.TakesObjectName = true;
    } else if (primary == 335544569) {
        if (At(w, 0) == 1 && At(w, 2) == 1 && At(w, 3) == 335544436) {
            const bool a = words >= 8 && At(w, 6) == 1 && OneOf(At(w, 7), {335544580, 335544581, 336068783});
            const bool b = words >= 10 && At(w, 8) == 1 && OneOf(At(w, 9), {336397206, 336397207});
            if (a || b)
                c.Kind = ekObjNotExists, c.TakesObjectName = true;
        } else if (At(w, 0) == 1 && At(w, 2) == 1 && At(w, 3) == 335544512 && words == 6) {
            c.Kind = ekInvalidParams;
        }
    } else if (primary == 335544517) {
        if (At(w, 2) == isc_arg_number)
            c.ExceptionCode = static_cast<int>(At(w, 3));
    }
    return c;
}

QString ExtractObjectName(const StatusWords& w, const std::vector<InterpretedLine>& lines, ErrorKind& kind,
                          bool firebird20OrLater) {
    if (lines.empty())
        return {};
    if (At(w, 1) == 335544665 && IsStringArg(At(w, 2))) {
        const QString& first = lines.front().Text;
        const qsizetype a = first.indexOf(QLatin1Char('"'));
        const qsizetype b = a < 0 ? -1 : first.indexOf(QLatin1Char('"'), a + 1);
        return b < 0 ? QString() : first.mid(a + 1, b - a - 1);
    }
    for (const InterpretedLine& line : lines) {
        const std::size_t p = static_cast<std::size_t>(line.Position);
        if (At(w, p) != isc_arg_gds)
            continue;
        const std::intptr_t code = At(w, p + 1);
        if (!IsStringArg(At(w, p + 2)))
            continue;
        if (code == 335544382) {
            if (line.Text.endsWith(QStringLiteral("not found")))
                continue;
            if (line.Text.endsWith(QStringLiteral("already exists"))) {
                kind = ekOther;
                continue;
            }
            return line.Text;
        }
        if (firebird20OrLater &&
            OneOf(code, {336068645, 336068649, 336068656, 336068662, 336397207, 336068697, 336068748, 336068752,
                         336068754, 336068755, 336068759, 336068760, 336068763, 336068822, 336068849, 336397206,
                         336068864, 336068865})) {
            const qsizetype blank = line.Text.indexOf(QLatin1Char(' '));
            if (blank < 0)
                continue;
            qsizetype end = line.Text.indexOf(QStringLiteral(" not found"), blank + 1);
            if (end < 0)
                end = line.Text.indexOf(QStringLiteral(" does not exist"), blank + 1);
            if (end < 0)
                continue;
            return line.Text.mid(blank + 1, end - blank - 1);
        }
    }
    return {};
}

namespace {
/// The message of one exception and, when it wraps another, the innermost non-empty one.
QString InnermostMessage(std::exception_ptr error, bool& silent) {
    QString message;
    try {
        std::rethrow_exception(error);
    } catch (const SilentAbort&) {
        silent = true;
        return {};
    } catch (const std::exception& e) {
        if (const auto* f = dynamic_cast<const Failure*>(&e))
            message = f->Message();
        else
            message = QString::fromLocal8Bit(e.what());
        try {
            std::rethrow_if_nested(e);
        } catch (...) {
            const QString inner = InnermostMessage(std::current_exception(), silent);
            if (!inner.isEmpty())
                return inner;
        }
    } catch (...) {
        message = QStringLiteral("Erro desconhecido");
    }
    return message;
}
} // namespace

QString ErrorBoxText(std::exception_ptr error) {
    bool silent = false;
    const QString text = InnermostMessage(error, silent);
    return silent ? QString() : WithFullStop(text);
}

bool IsSilentAbort(std::exception_ptr error) {
    bool silent = false;
    InnermostMessage(error, silent);
    return silent;
}

QString WithFullStop(const QString& text) {
    if (!text.isEmpty() && text.back().unicode() > u'.')
        return text + QLatin1Char('.');
    return text;
}

} // namespace abd
