#pragma once
// Pure readers of the service manager's reply buffers; no read ever steps past the buffer.

#include "firebird/ServiceSettings.h"

#include <QString>
#include <cstddef>
#include <cstdint>

namespace abd {

class ReplyReader {
public:
    ReplyReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool AtEnd() const { return pos_ >= size_; }
    std::size_t Position() const { return pos_; }
    /// A tag byte; 0 past the end.
    std::uint8_t Tag();
    /// A 4-byte little-endian signed integer; the bytes past the end count as 0.
    std::int32_t Int32();
    /// A 2-byte length and that many bytes in the system code page, clipped at the end of the buffer.
    QString LongString();

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

/// The reply to isc_info_svc_svr_db_info.
ServerUsage ParseUsageReply(const std::uint8_t* data, std::size_t size);

struct LineReply {
    QString Line;
    bool Finished = true;
    /// The query's time-out passed with no line: the job goes on, and there is nothing to show.
    bool TimedOut = false;
};

/// The reply to one isc_info_svc_line query.
LineReply ParseLineReply(const std::uint8_t* data, std::size_t size);

} // namespace abd
