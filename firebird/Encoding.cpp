#include "firebird/Encoding.h"

namespace abd {
namespace {

// Code points of bytes 0x80..0x9F; the five bytes the code page leaves undefined map to themselves.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr char kReplacement = '?';

char EncodeOne(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<char>(c);
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == c)
            return static_cast<char>(0x80 + i);
    return kReplacement;
}

} // namespace

QByteArray ToCodePage(const QString& text) {
    QByteArray out;
    out.resize(text.size());
    char* dst = out.data();
    const QChar* src = text.constData();
    qsizetype n = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        char16_t c = src[i].unicode();
        // A surrogate pair is one character the code page cannot hold: one replacement byte.
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(src[i + 1].unicode()))
            ++i, c = 0xFFFF;
        dst[n++] = EncodeOne(c);
    }
    out.truncate(n);
    return out;
}

QString FromCodePage(const char* data, qsizetype size) {
    QString out(size, Qt::Uninitialized);
    QChar* dst = out.data();
    for (qsizetype i = 0; i < size; ++i) {
        const auto b = static_cast<unsigned char>(data[i]);
        dst[i] = QChar(b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : char16_t(b));
    }
    return out;
}

std::optional<QString> UncarriedCharacter(const QString& text, TextEncoding encoding) {
    const QChar* s = text.constData();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = s[i].unicode();
        if (c == 0)
            return QString(s[i]);
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(s[i + 1].unicode())) {
            if (encoding == TextEncoding::CodePage)
                return text.mid(i, 2);
            ++i;
            continue;
        }
        if (QChar::isSurrogate(c))
            return QString(s[i]);
        if (encoding == TextEncoding::CodePage && EncodeOne(c) == kReplacement && c != u'?')
            return QString(s[i]);
    }
    return std::nullopt;
}

std::optional<QByteArray> EncodeExactly(const QString& text, TextEncoding encoding) {
    if (UncarriedCharacter(text, encoding))
        return std::nullopt;
    return encoding == TextEncoding::Utf8 ? text.toUtf8() : ToCodePage(text);
}

QString FromServer(const char* data, qsizetype size) {
    const QByteArrayView bytes(data, size);
    if (bytes.isValidUtf8())
        return QString::fromUtf8(bytes);
    return FromCodePage(data, size);
}

} // namespace abd
