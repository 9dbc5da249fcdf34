#include "firebird/Value.h"

#include "firebird/Failure.h"

#include <limits>

namespace abd {

namespace {
QString VariantTypeName(Value::Type t) {
    switch (t) {
    case Value::Type::Empty: return QStringLiteral("Empty");
    case Value::Type::Null: return QStringLiteral("Null");
    case Value::Type::Text: return QStringLiteral("UnicodeString");
    case Value::Type::Integer: return QStringLiteral("Int64");
    case Value::Type::Currency: return QStringLiteral("Currency");
    case Value::Type::Decimal: return QStringLiteral("FMTBcdVariantType");
    case Value::Type::Double: return QStringLiteral("Double");
    case Value::Type::DateTime:
    case Value::Type::Date:
    case Value::Type::Time: return QStringLiteral("Date");
    case Value::Type::Boolean: return QStringLiteral("Boolean");
    case Value::Type::Blob: return QStringLiteral("UnicodeString");
    }
    return {};
}

ConversionError CastError(Value::Type from, const QString& to) {
    return ConversionError(QStringLiteral("Não é possível converter tipo de variant (%1) em tipo (%2)")
                               .arg(VariantTypeName(from), to));
}
} // namespace

Value Value::Text(QString text) {
    Value v(Type::Text);
    v.text_ = std::move(text);
    return v;
}
Value Value::Blob(QString text) {
    Value v(Type::Blob);
    v.text_ = std::move(text);
    return v;
}
Value Value::Integer(std::int64_t value) {
    Value v(Type::Integer);
    v.int_ = value;
    return v;
}
Value Value::Currency(std::int64_t scaled) {
    Value v(Type::Currency);
    v.int_ = scaled;
    return v;
}
Value Value::Decimal(std::int64_t scaled) {
    Value v(Type::Decimal);
    v.int_ = scaled;
    return v;
}
Value Value::Double(double value) {
    Value v(Type::Double);
    v.double_ = value;
    return v;
}
Value Value::DateTime(const QDateTime& value) {
    Value v(Type::DateTime);
    v.dateTime_ = value;
    return v;
}
Value Value::Date(const QDate& value) {
    Value v(Type::Date);
    v.dateTime_ = QDateTime(value, QTime(0, 0));
    return v;
}
Value Value::Time(const QTime& value) {
    Value v(Type::Time);
    v.dateTime_ = QDateTime(QDate(1899, 12, 30), value);
    return v;
}
Value Value::Boolean(bool value) {
    Value v(Type::Boolean);
    v.int_ = value ? 1 : 0;
    return v;
}

QString Value::FixedText() const {
    const bool negative = int_ < 0;
    const auto magnitude = negative ? -static_cast<unsigned long long>(int_) : static_cast<unsigned long long>(int_);
    QString text = QString::number(magnitude / 10000);
    QString fraction = QStringLiteral("%1").arg(magnitude % 10000, 4, 10, QLatin1Char('0'));
    while (fraction.endsWith(QLatin1Char('0')))
        fraction.chop(1);
    if (!fraction.isEmpty())
        text += QLatin1Char('.') + fraction;
    return negative ? QLatin1Char('-') + text : text;
}

QString Value::ToText() const {
    switch (type_) {
    case Type::Empty: return {};
    case Type::Null: throw CastError(type_, QStringLiteral("OleStr"));
    case Type::Text:
    case Type::Blob: return text_;
    case Type::Integer: return QString::number(int_);
    case Type::Currency:
    case Type::Decimal: return FixedText();
    case Type::Double: return QString::number(double_, 'g', 15);
    case Type::DateTime: return dateTime_.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
    case Type::Date: return dateTime_.date().toString(QStringLiteral("dd/MM/yyyy"));
    case Type::Time: return dateTime_.time().toString(QStringLiteral("HH:mm:ss"));
    case Type::Boolean: return int_ ? QStringLiteral("True") : QStringLiteral("False");
    }
    return {};
}

std::int32_t Value::ToInteger() const {
    auto checked = [this](long long v) {
        if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
            throw CastError(type_, QStringLiteral("Integer"));
        return static_cast<std::int32_t>(v);
    };
    switch (type_) {
    case Type::Empty: return 0;
    case Type::Integer:
    case Type::Boolean: return checked(int_);
    case Type::Currency:
    case Type::Decimal: {
        // Rounded half to even, as a fixed-point value converts to an integer.
        long long whole = int_ / 10000, rest = int_ % 10000;
        if (rest > 5000 || (rest == 5000 && (whole & 1)))
            ++whole;
        else if (rest < -5000 || (rest == -5000 && (whole & 1)))
            --whole;
        return checked(whole);
    }
    case Type::Double: return checked(qRound64(double_));
    case Type::Text:
    case Type::Blob: {
        bool ok = false;
        const int v = text_.trimmed().toInt(&ok);
        if (!ok)
            throw ConversionError(QStringLiteral("'%1' não é um valor inteiro válido").arg(text_));
        return v;
    }
    default: throw CastError(type_, QStringLiteral("Integer"));
    }
}

QString Value::Display() const {
    if (type_ == Type::Null)
        return QStringLiteral("<null>");
    return ToText();
}

} // namespace abd
