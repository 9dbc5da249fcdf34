#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace abd {

/// The system's single-byte code page, Windows-1252: texts exchanged with the client library. A character the
/// code page lacks becomes "?"; where a text must arrive exactly, EncodeExactly says so instead.
QByteArray ToCodePage(const QString& text);
QString FromCodePage(const char* data, qsizetype size);
inline QString FromCodePage(const QByteArray& bytes) { return FromCodePage(bytes.constData(), bytes.size()); }

/// How the names and credentials in a parameter block reach the client library: in the code page, or in
/// UTF-8 where the block declares it (the client library then converts nothing).
enum class TextEncoding { CodePage, Utf8 };

/// The first character of `text` that `encoding` cannot carry unchanged (a character the code page lacks, a
/// lone surrogate, a NUL that would end the text early); none when every character arrives as it is.
std::optional<QString> UncarriedCharacter(const QString& text, TextEncoding encoding);

/// The text's bytes in `encoding`; none when a character cannot be carried. Nothing is ever replaced.
std::optional<QByteArray> EncodeExactly(const QString& text, TextEncoding encoding);

/// A text the server wrote (report lines, error texts): UTF-8 where the bytes are valid UTF-8, as the server
/// writes file names; the code page otherwise, as it writes data of a WIN1252 connection.
QString FromServer(const char* data, qsizetype size);

} // namespace abd
