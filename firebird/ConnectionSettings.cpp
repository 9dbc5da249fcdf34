#include "firebird/ConnectionSettings.h"

namespace abd {

qsizetype ConnectionSettings::IndexOf(const QString& name) const {
    for (qsizetype i = 0; i < lines_.size(); ++i) {
        const qsizetype eq = lines_[i].indexOf(QLatin1Char('='));
        const QString key = eq < 0 ? lines_[i] : lines_[i].left(eq);
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString ConnectionSettings::Value(const QString& name) const {
    const qsizetype i = IndexOf(name);
    if (i < 0)
        return {};
    const qsizetype eq = lines_[i].indexOf(QLatin1Char('='));
    return eq < 0 ? QString() : lines_[i].mid(eq + 1);
}

void ConnectionSettings::SetValue(const QString& name, const QString& value) {
    const qsizetype i = IndexOf(name);
    if (value.isEmpty()) {
        if (i >= 0)
            lines_.removeAt(i);
        return;
    }
    const QString line = name + QLatin1Char('=') + value;
    if (i >= 0)
        lines_[i] = line;
    else
        lines_.append(line);
}

} // namespace abd
