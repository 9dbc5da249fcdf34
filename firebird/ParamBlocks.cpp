#include "firebird/ParamBlocks.h"

#include "firebird/Encoding.h"
#include "firebird/Failure.h"

namespace abd {

namespace {
// Attach items.
constexpr std::uint8_t isc_dpb_version1 = 1, isc_dpb_page_size = 4, isc_dpb_user_name = 28,
                       isc_dpb_password = 29, isc_dpb_lc_ctype = 48, isc_dpb_sql_dialect = 63,
                       isc_dpb_connect_timeout = 57, isc_dpb_utf8_filename = 77, isc_dpb_set_bind = 93,
                       isc_dpb_no_garbage_collect = 16;
// A server that does not answer an attachment within this time refuses it (seconds).
constexpr std::uint32_t kConnectTimeoutSeconds = 30;
// Transaction items.
constexpr std::uint8_t isc_tpb_version3 = 3, isc_tpb_consistency = 1, isc_tpb_concurrency = 2, isc_tpb_wait = 6,
                       isc_tpb_nowait = 7, isc_tpb_read = 8, isc_tpb_write = 9, isc_tpb_read_committed = 15,
                       isc_tpb_rec_version = 17;
// Service items.
constexpr std::uint8_t isc_spb_version = 2, isc_spb_current_version = 2, isc_spb_user_name = 28,
                       isc_spb_password = 29, isc_spb_connect_timeout = 57, isc_spb_utf8_filename = 118,
                       isc_action_svc_backup = 1, isc_action_svc_restore = 2, isc_spb_dbname = 106,
                       isc_spb_verbose = 107, isc_spb_options = 108, isc_spb_bkp_file = 5,
                       isc_spb_bkp_length = 7, isc_spb_res_buffers = 9, isc_spb_res_page_size = 10,
                       isc_spb_res_fix_fss_data = 13, isc_spb_res_fix_fss_metadata = 14;

const QString kSetBind = QStringLiteral("TIME WITH TIME ZONE TO EXTENDED;TIMESTAMP WITH TIME ZONE TO EXTENDED");
// A server of version 4 or later sends its 128-bit and decimal-float values (and, to a client older than 4.0,
// its time-zone values) only in types that the client knows; a 3.0 server ignores the item.
const QString kLegacyNumbers = QStringLiteral("DECFLOAT TO LEGACY;INT128 TO LEGACY");
const QString kLegacyTimeZones = QStringLiteral("TIME ZONE TO LEGACY");

bool IsBlankEntry(const QString& entry) {
    for (QChar c : entry)
        if (c.unicode() > 32)
            return false;
    return true;
}
} // namespace

BlockWriter& BlockWriter::Tag(std::uint8_t tag) {
    bytes_.push_back(tag);
    return *this;
}

BlockWriter& BlockWriter::Int32(std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    return *this;
}

QByteArray BlockWriter::Encode(const QString& text, qsizetype limit) const {
    const std::optional<QByteArray> encoded = EncodeExactly(text, encoding_);
    if (!encoded)
        throw UncarriedText(
            QStringLiteral("Um texto enviado ao servidor tem um caractere que não pode ser enviado "
                           "como está (\"%1\").")
                .arg(*UncarriedCharacter(text, encoding_)));
    QByteArray b = *encoded;
    if (b.size() > limit) {
        b.truncate(limit);
        // A UTF-8 character is cut whole or not at all.
        if (encoding_ == TextEncoding::Utf8)
            while (!b.isEmpty() && !QByteArrayView(b).isValidUtf8())
                b.chop(1);
    }
    return b;
}

BlockWriter& BlockWriter::ShortString(const QString& text) {
    const QByteArray b = Encode(text.left(255), 255);
    bytes_.push_back(static_cast<std::uint8_t>(b.size()));
    bytes_.insert(bytes_.end(), b.begin(), b.end());
    return *this;
}

BlockWriter& BlockWriter::LongString(const QString& text) {
    const QByteArray b = Encode(text.left(65535), 65535);
    bytes_.push_back(static_cast<std::uint8_t>(b.size() & 0xFF));
    bytes_.push_back(static_cast<std::uint8_t>(b.size() >> 8));
    bytes_.insert(bytes_.end(), b.begin(), b.end());
    return *this;
}

BlockWriter& BlockWriter::Number(std::uint32_t value) {
    const int width = value < 256 ? 1 : value <= 65535 ? 2 : 4;
    bytes_.push_back(static_cast<std::uint8_t>(width));
    for (int i = 0; i < width; ++i)
        bytes_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    return *this;
}

QString StripControl(const QString& text) {
    qsizetype from = 0, to = text.size();
    while (from < to && text[from].unicode() <= 32)
        ++from;
    while (to > from && text[to - 1].unicode() <= 32)
        --to;
    return text.mid(from, to - from);
}

ClientInfo InfoOf(const ClientLibrary& library) {
    return {library.Brand(), library.Version(), library.Embedded()};
}

Bytes BuildAttachBlock(const ConnectionSettings& params, int dialect, const ClientInfo& client) {
    BlockWriter w(client.DatabaseText());
    w.Tag(isc_dpb_version1);
    if (params.Has(QStringLiteral("User_Name")))
        w.Tag(isc_dpb_user_name).ShortString(StripControl(params.Value(QStringLiteral("User_Name"))));
    if (params.Has(QStringLiteral("Password")))
        w.Tag(isc_dpb_password).ShortString(StripControl(params.Value(QStringLiteral("Password"))));
    const QString charset = StripControl(params.Value(QStringLiteral("CharacterSet")));
    if (!charset.isEmpty() && charset.compare(QStringLiteral("none"), Qt::CaseInsensitive) != 0)
        w.Tag(isc_dpb_lc_ctype).ShortString(charset);
    if (params.Has(QStringLiteral("PageSize")))
        w.Tag(isc_dpb_page_size).Number(StripControl(params.Value(QStringLiteral("PageSize"))).toUInt());
    w.Tag(isc_dpb_sql_dialect).Number(static_cast<std::uint32_t>(dialect));
    // An attachment that only reads, and must leave even the old record versions where they are.
    if (params.Value(QStringLiteral("NoGarbageCollect")).compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0)
        w.Tag(isc_dpb_no_garbage_collect).Tag(0);
    if (client.IsFirebird(ClientLibrary::kVersion40))
        w.Tag(isc_dpb_set_bind).ShortString(kSetBind + QLatin1Char(';') + kLegacyNumbers);
    else if (client.IsFirebird(ClientLibrary::kVersion30))
        w.Tag(isc_dpb_set_bind).ShortString(kLegacyTimeZones + QLatin1Char(';') + kLegacyNumbers);
    if (client.IsFirebird(ClientLibrary::kVersion25))
        w.Tag(isc_dpb_utf8_filename).Tag(0);
    w.Tag(isc_dpb_connect_timeout).Number(kConnectTimeoutSeconds);
    return w.Data();
}

Bytes BuildTransactionBlock(Isolation isolation, bool readOnly, bool lockWait) {
    Bytes b{isc_tpb_version3, readOnly ? isc_tpb_read : isc_tpb_write};
    switch (isolation) {
    case Isolation::ReadCommitted:
        b.push_back(isc_tpb_read_committed);
        b.push_back(isc_tpb_rec_version);
        break;
    case Isolation::RepeatableRead:
    case Isolation::Snapshot:
        b.push_back(isc_tpb_concurrency);
        break;
    case Isolation::Serializable:
        b.push_back(isc_tpb_consistency);
        break;
    }
    b.push_back(lockWait ? isc_tpb_wait : isc_tpb_nowait);
    return b;
}

ServerAddress ParseServer(const QString& text) {
    const QString t = text.trimmed();
    ServerAddress a;
    if (t.startsWith(QLatin1Char('['))) {
        const qsizetype close = t.indexOf(QLatin1Char(']'));
        if (close > 0) {
            a.Host = t.left(close + 1);
            const QString rest = t.mid(close + 1);
            if (rest.startsWith(QLatin1Char('/')))
                a.Port = rest.mid(1).trimmed();
            return a;
        }
        a.Host = t;
        return a;
    }
    // Firebird writes a port after the host with "/"; an IPv6 address has colons but never a "/".
    const qsizetype slash = t.lastIndexOf(QLatin1Char('/'));
    a.Host = (slash < 0 ? t : t.left(slash)).trimmed();
    if (slash >= 0)
        a.Port = t.mid(slash + 1).trimmed();
    // A colon would end the host in the client library's reading: a bare IPv6 address goes in brackets.
    if (a.Host.contains(QLatin1Char(':')))
        a.Host = QLatin1Char('[') + a.Host + QLatin1Char(']');
    return a;
}

namespace {
/// The host and port part of a connection string or a service name: the port the server text carries wins
/// over the stored one, so that every connection of a run goes to the same server and port.
QString HostAndPort(const QString& serverText, const QString& storedPort) {
    const ServerAddress a = ParseServer(serverText);
    const QString port = a.Port.isEmpty() ? storedPort : a.Port;
    return port.isEmpty() ? a.Host : a.Host + QLatin1Char('/') + port;
}
} // namespace

QString BuildConnectionString(const ConnectionSettings& params) {
    const QString server = params.Value(QStringLiteral("Server"));
    const QString database = params.Value(QStringLiteral("Database"));
    const bool tcp = params.Value(QStringLiteral("Protocol")).compare(QStringLiteral("TCPIP"), Qt::CaseInsensitive) == 0;
    if (!tcp && ParseServer(server).Host.isEmpty())
        return database;
    return HostAndPort(server, params.Value(QStringLiteral("Port"))) + QLatin1Char(':') + database;
}

QString BuildServiceName(const ServiceSettings& settings, const ClientInfo& client) {
    switch (settings.Protocol) {
    case ipTCPIP:
        return HostAndPort(settings.Host(), settings.Port != 0 ? QString::number(settings.Port) : QString()) +
               QStringLiteral(":service_mgr");
    case ipNetBEUI: {
        QString name = QStringLiteral("\\\\") + settings.Host();
        if (settings.Port != 0)
            name += QLatin1Char('@') + QString::number(settings.Port);
        return name + QStringLiteral("\\service_mgr");
    }
    case ipLocal:
        break;
    }
    const bool xnet = client.Brand == ClientBrand::Firebird && client.Major() >= 3 && !client.Embedded;
    return xnet ? QStringLiteral("xnet://service_mgr") : QStringLiteral("service_mgr");
}

Bytes BuildServiceAttachBlock(const ServiceSettings& settings, const ClientInfo& client) {
    BlockWriter w(client.ServiceText());
    w.Tag(isc_spb_version).Tag(isc_spb_current_version);
    if (!settings.UserName.isEmpty())
        w.Tag(isc_spb_user_name).ShortString(settings.UserName);
    if (!settings.Password.isEmpty())
        w.Tag(isc_spb_password).ShortString(settings.Password);
    // Without it the client library converts every name of the attachment and of its requests from the
    // process's locale, and refuses what that locale cannot read.
    if (client.ServiceText() == TextEncoding::Utf8)
        w.Tag(isc_spb_utf8_filename).Tag(0);
    w.Tag(isc_spb_connect_timeout).Tag(4).Int32(kConnectTimeoutSeconds);
    return w.Data();
}

Bytes BuildBackupRequest(const QString& database, const BackupRequest& request, const ClientInfo& client) {
    BlockWriter w(client.ServiceText());
    w.Tag(isc_action_svc_backup).Tag(isc_spb_dbname).LongString(database);
    if (request.Verbose)
        w.Tag(isc_spb_verbose);
    for (const QString& entry : request.BackupFiles) {
        if (IsBlankEntry(entry))
            continue;
        const qsizetype eq = entry.indexOf(QLatin1Char('='));
        w.Tag(isc_spb_bkp_file).LongString(eq < 0 ? entry : entry.left(eq));
        const QString length = eq < 0 ? QString() : entry.mid(eq + 1);
        if (!length.isEmpty()) {
            bool ok = false;
            const int value = length.toInt(&ok);
            if (!ok)
                throw ConversionError(QStringLiteral("'%1' não é um valor inteiro válido").arg(length));
            w.Tag(isc_spb_bkp_length).Int32(static_cast<std::uint32_t>(value));
        }
    }
    if (request.Options != 0) {
        static constexpr std::uint32_t kFlags[8] = {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80};
        std::uint32_t flags = 0;
        for (int n = 0; n < 8; ++n)
            if (request.Options & (1u << n))
                flags |= kFlags[n];
        if (client.Brand == ClientBrand::Firebird && client.Major() >= 3) {
            if (request.Options & boNoTriggers)
                flags |= 0x8000;
            if (request.Options & boZip)
                flags |= 0x10000;
        }
        w.Tag(isc_spb_options).Int32(flags);
    }
    return w.Data();
}

Bytes BuildRestoreRequest(const QString& database, const RestoreRequest& request, const ClientInfo& client) {
    BlockWriter w(client.ServiceText());
    w.Tag(isc_action_svc_restore);
    for (const QString& entry : request.BackupFiles)
        if (!IsBlankEntry(entry))
            w.Tag(isc_spb_bkp_file).LongString(entry);
    w.Tag(isc_spb_dbname).LongString(database);
    if (request.Verbose)
        w.Tag(isc_spb_verbose);
    std::uint32_t flags = (request.Options & roReplace) ? 0x1000 : 0x2000;
    if (request.Options & roDeactivateIdx)
        flags |= 0x100;
    if (request.Options & roNoShadow)
        flags |= 0x200;
    if (request.Options & roNoValidity)
        flags |= 0x400;
    if (request.Options & roOneAtATime)
        flags |= 0x800;
    if (request.Options & roUseAllSpace)
        flags |= 0x4000;
    if (request.Options & roValidate)
        flags |= 0x8000;
    if (request.Options & roMetaDataOnly)
        flags |= 0x04;
    w.Tag(isc_spb_options).Int32(flags);
    if (request.Options & roFixFSSData)
        w.Tag(isc_spb_res_fix_fss_data).LongString(request.FixCharSet);
    if (request.Options & roFixFSSMetaData)
        w.Tag(isc_spb_res_fix_fss_metadata).LongString(request.FixCharSet);
    if (request.PageSize != 0)
        w.Tag(isc_spb_res_page_size).Int32(static_cast<std::uint32_t>(request.PageSize));
    if (request.PageBuffers != 0)
        w.Tag(isc_spb_res_buffers).Int32(static_cast<std::uint32_t>(request.PageBuffers));
    return w.Data();
}

} // namespace abd
