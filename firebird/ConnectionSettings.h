#pragma once

#include <QString>
#include <QStringList>

namespace abd {

/// The connection's ordered parameter list of "Name=Value" texts; an empty value removes the entry.
class ConnectionSettings {
public:
    ConnectionSettings() = default;
    explicit ConnectionSettings(QStringList lines) : lines_(std::move(lines)) {}

    QString Value(const QString& name) const;
    bool Has(const QString& name) const { return IndexOf(name) >= 0; }
    void SetValue(const QString& name, const QString& value);
    const QStringList& Lines() const { return lines_; }

private:
    qsizetype IndexOf(const QString& name) const;
    QStringList lines_;
};

} // namespace abd
