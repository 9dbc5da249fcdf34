#pragma once

#include <QDateTime>
#include <QString>
#include <cstdint>

namespace abd {

/// A value read from the database: empty (no row or column), null, or one typed value.
class Value {
public:
    enum class Type { Empty, Null, Text, Integer, Currency, Decimal, Double, DateTime, Date, Time, Boolean, Blob };

    Value() = default;
    static Value Null() { return Value(Type::Null); }
    static Value Text(QString text);
    static Value Integer(std::int64_t value);
    /// A fixed-point value with 4 decimal places, held as value × 10^4.
    static Value Currency(std::int64_t scaledBy10000);
    static Value Decimal(std::int64_t scaledBy10000);
    static Value Double(double value);
    static Value DateTime(const QDateTime& value);
    static Value Date(const QDate& value);
    static Value Time(const QTime& value);
    static Value Boolean(bool value);
    static Value Blob(QString text);

    Type GetType() const { return type_; }
    bool IsEmpty() const { return type_ == Type::Empty; }
    bool IsNull() const { return type_ == Type::Null; }

    std::int64_t AsInt64() const { return int_; }
    double AsDouble() const { return double_; }

    /// The value as text: empty for an empty value; null fails as a variant conversion to "OleStr".
    QString ToText() const;
    /// The value as a 32-bit integer: 0 for an empty value; null fails as a variant conversion to "Integer".
    std::int32_t ToInteger() const;
    /// How result rows show the value: "<null>" for null.
    QString Display() const;

private:
    explicit Value(Type t) : type_(t) {}
    QString FixedText() const;

    Type type_ = Type::Empty;
    QString text_;
    std::int64_t int_ = 0;
    double double_ = 0;
    QDateTime dateTime_;
};

} // namespace abd
