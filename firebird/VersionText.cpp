#include "firebird/VersionText.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

namespace abd {

int ParseVersionText(const QString& text) {
    qsizetype first = 0;
    while (first < text.size() && !text[first].isDigit())
        ++first;
    const QStringList parts = text.mid(first).split(QLatin1Char('.'));
    static constexpr long long kWeights[5] = {100000000, 1000000, 10000, 100, 1};
    long long result = 0;
    for (int n = 0; n < 5 && n < parts.size(); ++n) {
        long long value = 0;
        for (QChar c : parts[n]) {
            if (!c.isDigit())
                break;
            value = std::min<long long>(value * 10 + c.digitValue(), 1000000);
        }
        if (n > 0 && value >= 100)
            value = 99;
        result += value * kWeights[n];
    }
    return static_cast<int>(std::min<long long>(result, 2147483647));
}

QString ClientVersionText(const QString& realFileName, const QString& clientVersion) {
    static const QRegularExpression fileVersion(QStringLiteral("\\.so\\.(\\d+(?:\\.\\d+)+)$"));
    static const QRegularExpression build(QStringLiteral("V\\d+\\.\\d+\\.\\d+\\.(\\d+)"));
    static const QRegularExpression brandVersion(QStringLiteral("(?:Firebird|InterBase)\\s+(\\d+(?:\\.\\d+)*)"),
                                                 QRegularExpression::CaseInsensitiveOption);
    const auto f = fileVersion.match(realFileName);
    if (f.hasMatch()) {
        QString version = f.captured(1);
        const auto b = build.match(clientVersion);
        if (b.hasMatch() && version.count(QLatin1Char('.')) == 2)
            version += QLatin1Char('.') + b.captured(1);
        return version;
    }
    const auto v = brandVersion.match(clientVersion);
    if (v.hasMatch())
        return v.captured(1);
    return clientVersion;
}

} // namespace abd
