// The service manager's reply buffers, whatever their length fields claim.
#include "firebird/ReplyReader.h"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact-size copy, so that AddressSanitizer sees any read past the end.
    std::vector<std::uint8_t> buffer(data, data + size);
    const abd::ServerUsage usage = abd::ParseUsageReply(buffer.data(), buffer.size());
    if (usage.DBNames.size() > static_cast<qsizetype>(size) + 1)
        __builtin_trap();
    const abd::LineReply line = abd::ParseLineReply(buffer.data(), buffer.size());
    if (line.Line.size() > static_cast<qsizetype>(size))
        __builtin_trap();
    return 0;
}
