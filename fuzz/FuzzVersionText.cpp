// The client library's version texts.
#include "firebird/VersionText.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const int version = abd::ParseVersionText(text);
    if (version < 0)
        __builtin_trap();
    const qsizetype split = text.indexOf(QLatin1Char('|'));
    (void)abd::ParseVersionText(abd::ClientVersionText(text.left(split), text.mid(split + 1)));
    return 0;
}
