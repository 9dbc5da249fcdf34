#include "firebird/ReplyReader.h"

#include "firebird/Encoding.h"

#include <algorithm>

namespace abd {

namespace {
constexpr std::uint8_t isc_info_svc_svr_db_info = 50, isc_spb_num_att = 5, isc_spb_num_db = 6,
                       isc_spb_dbname = 106, isc_info_flag_end = 127, isc_info_svc_line = 62,
                       isc_info_svc_running = 67, isc_info_svc_timeout = 64;
}

std::uint8_t ReplyReader::Tag() {
    if (pos_ >= size_)
        return 0;
    return data_[pos_++];
}

std::int32_t ReplyReader::Int32() {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        const std::uint32_t b = pos_ < size_ ? data_[pos_] : 0;
        value |= b << (8 * i);
        if (pos_ < size_)
            ++pos_;
    }
    return static_cast<std::int32_t>(value);
}

QString ReplyReader::LongString() {
    std::size_t length = 0;
    for (int i = 0; i < 2 && pos_ < size_; ++i)
        length |= std::size_t(data_[pos_++]) << (8 * i);
    length = std::min(length, size_ - pos_);
    const QString text =
        FromServer(reinterpret_cast<const char*>(data_ + pos_), static_cast<qsizetype>(length));
    pos_ += length;
    return text;
}

ServerUsage ParseUsageReply(const std::uint8_t* data, std::size_t size) {
    ServerUsage usage;
    ReplyReader r(data, size);
    while (!r.AtEnd()) {
        if (r.Tag() != isc_info_svc_svr_db_info)
            break;
        if (r.Tag() == isc_spb_num_att)
            usage.Attachments = r.Int32();
        if (r.Tag() == isc_spb_num_db)
            usage.Databases = r.Int32();
        const int slotCount = std::max(0, usage.Databases);
        // Each name takes at least three bytes: more slots than the buffer could name are never filled.
        const int fillable = static_cast<int>(std::min<std::size_t>(slotCount, size / 3 + 1));
        usage.DBNames = QStringList();
        usage.DBNames.reserve(fillable);
        for (int i = 0; i < fillable; ++i)
            usage.DBNames.append(QString());
        int next = 0;
        while (!r.AtEnd()) {
            const std::uint8_t tag = r.Tag();
            if (tag == isc_info_flag_end)
                break;
            if (tag == isc_spb_dbname) {
                QString name = r.LongString();
                if (next < usage.DBNames.size())
                    usage.DBNames[next++] = std::move(name);
            }
        }
    }
    return usage;
}

LineReply ParseLineReply(const std::uint8_t* data, std::size_t size) {
    ReplyReader r(data, size);
    switch (r.Tag()) {
    case isc_info_svc_line: {
        LineReply reply;
        reply.Line = r.LongString();
        // An empty line ends the output, unless the query's time-out passed first (the server says so next).
        if (reply.Line.isEmpty() && !r.AtEnd() && r.Tag() == isc_info_svc_timeout) {
            reply.Finished = false;
            reply.TimedOut = true;
            return reply;
        }
        reply.Finished = reply.Line.isEmpty();
        return reply;
    }
    case isc_info_svc_running:
        return {QString(), false};
    default:
        return {QString(), true};
    }
}

} // namespace abd
