#pragma once

#include <QByteArray>
#include <QString>

namespace abd {

/// The system's single-byte code page, Windows-1252: texts exchanged with the client library.
QByteArray ToCodePage(const QString& text);
QString FromCodePage(const char* data, qsizetype size);
inline QString FromCodePage(const QByteArray& bytes) { return FromCodePage(bytes.constData(), bytes.size()); }

} // namespace abd
