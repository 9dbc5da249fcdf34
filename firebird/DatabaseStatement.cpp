#include "firebird/DatabaseStatement.h"

#include "firebird/internal/StatementImpl.h"

#include <QDate>
#include <QTime>
#include <cstring>

namespace abd {

namespace {
// The time-zone types of a 4.0 server, as a 4.0 client delivers them (the connection asks for the extended
// forms, which carry the zone's offset in minutes after the UTC value).
constexpr short kTimestampTzEx = 32748, kTimeTzEx = 32750, kTimestampTz = 32754, kTimeTz = 32756;

int ColumnBufferSize(const XSQLVAR& v) {
    switch (v.sqltype & ~1) {
    case SQL_VARYING: return v.sqllen + 2;
    default: return v.sqllen > 0 ? v.sqllen : 1;
    }
}

QString TypeNameOf(const XSQLVAR& v) {
    switch (v.sqltype & ~1) {
    case SQL_TEXT: return QStringLiteral("CHAR");
    case SQL_VARYING: return QStringLiteral("VARCHAR");
    case SQL_SHORT: return v.sqlscale < 0 ? QStringLiteral("NUMERIC") : QStringLiteral("SMALLINT");
    case SQL_LONG: return v.sqlscale < 0 ? QStringLiteral("NUMERIC") : QStringLiteral("INTEGER");
    case SQL_INT64: return v.sqlscale < 0 ? QStringLiteral("NUMERIC") : QStringLiteral("BIGINT");
    case SQL_FLOAT: return QStringLiteral("FLOAT");
    case SQL_DOUBLE:
    case SQL_D_FLOAT: return QStringLiteral("DOUBLE PRECISION");
    case SQL_TIMESTAMP: return QStringLiteral("TIMESTAMP");
    case kTimestampTz:
    case kTimestampTzEx:
        return QStringLiteral("TIMESTAMP WITH TIME ZONE");
    case kTimeTz:
    case kTimeTzEx:
        return QStringLiteral("TIME WITH TIME ZONE");
    case SQL_TYPE_DATE: return QStringLiteral("DATE");
    case SQL_TYPE_TIME: return QStringLiteral("TIME");
    case SQL_BLOB: return QStringLiteral("BLOB");
    case SQL_BOOLEAN: return QStringLiteral("BOOLEAN");
    default: return QStringLiteral("UNKNOWN");
    }
}

int DisplayWidthOf(const XSQLVAR& v) {
    switch (v.sqltype & ~1) {
    case SQL_TEXT:
    case SQL_VARYING: return v.sqllen;
    case SQL_SHORT: return 6;
    case SQL_LONG: return 11;
    case SQL_INT64: return 20;
    case SQL_TIMESTAMP: return 19;
    case SQL_TYPE_DATE: return 10;
    case SQL_TYPE_TIME: return 8;
    case SQL_BOOLEAN: return 5;
    default: return 20;
    }
}

/// A scaled integer as a fixed-point value with 4 decimal places.
std::int64_t ToScale4(std::int64_t value, int scale) {
    int shift = 4 + scale;
    while (shift > 0)
        value *= 10, --shift;
    while (shift < 0)
        value /= 10, ++shift;
    return value;
}

QDate DateOf(ISC_DATE days) { return QDate(1858, 11, 17).addDays(days); }

QTime TimeOf(ISC_TIME t) { return QTime(0, 0).addMSecs(static_cast<int>(t / 10)); }

} // namespace

// ---- SqlDescription ----

void SqlDescription::Resize(int columns) {
    const int n = columns < 1 ? 1 : columns;
    storage_.assign(XSQLDA_LENGTH(n), 0);
    Get()->version = SQLDA_VERSION1;
    Get()->sqln = static_cast<short>(n);
    buffers_.clear();
    indicators_.clear();
}

void SqlDescription::AllocateBuffers(bool allNull) {
    XSQLDA* da = Get();
    buffers_.assign(da->sqld, {});
    indicators_.assign(da->sqld, allNull ? -1 : 0);
    for (int i = 0; i < da->sqld; ++i) {
        XSQLVAR& v = da->sqlvar[i];
        buffers_[i].assign(ColumnBufferSize(v), 0);
        v.sqldata = buffers_[i].data();
        v.sqlind = &indicators_[i];
        if (allNull)
            v.sqltype |= 1;
    }
}

void SqlDescription::BindText(int index, const QByteArray& bytes) {
    XSQLVAR& v = Get()->sqlvar[index];
    const short type = v.sqltype & ~1;
    // A text column keeps its character set; any other takes the connection's.
    if (type != SQL_TEXT && type != SQL_VARYING)
        v.sqlsubtype = 0;
    v.sqltype = SQL_TEXT | 1;
    v.sqlscale = 0;
    buffers_[index].assign(bytes.constData(), bytes.constData() + bytes.size());
    if (buffers_[index].empty())
        buffers_[index].push_back(0);
    v.sqldata = buffers_[index].data();
    v.sqllen = static_cast<short>(bytes.size());
    indicators_[index] = 0;
}

// ---- Impl ----

void DatabaseStatement::Impl::BindParameters() {
    auto& c = Conn();
    for (int i = 0; i < in.Count() && i < static_cast<int>(parameters.size()); ++i)
        if (parameters[i])
            in.BindText(i, c.Encode(*parameters[i]));
}

void DatabaseStatement::Impl::Release() noexcept {
    if (handle && connection && connection->d->lib) {
        const ServerWait::Call waiting;
        ISC_STATUS_ARRAY ignored{};
        connection->d->lib->Api().isc_dsql_free_statement(ignored, &handle, DSQL_drop);
    }
    handle = 0;
    prepared = false;
    cursorOpen = false;
    pendingRow = false;
}

void DatabaseStatement::Impl::Describe() {
    auto& c = Conn();
    out.Resize(1);
    c.Check(c.Api().isc_dsql_describe(c.status, &handle, SQLDA_VERSION1, out.Get()));
    if (out.Get()->sqld > out.Get()->sqln) {
        const int n = out.Get()->sqld;
        out.Resize(n);
        c.Check(c.Api().isc_dsql_describe(c.status, &handle, SQLDA_VERSION1, out.Get()));
    }
    out.AllocateBuffers(false);
    in.Resize(1);
    c.Check(c.Api().isc_dsql_describe_bind(c.status, &handle, SQLDA_VERSION1, in.Get()));
    if (in.Get()->sqld > in.Get()->sqln) {
        const int n = in.Get()->sqld;
        in.Resize(n);
        c.Check(c.Api().isc_dsql_describe_bind(c.status, &handle, SQLDA_VERSION1, in.Get()));
    }
    // Every marker goes as NULL unless a value was given for it.
    in.AllocateBuffers(true);
    BindParameters();

    columns.clear();
    for (int i = 0; i < out.Count(); ++i) {
        const XSQLVAR& v = out.Get()->sqlvar[i];
        const char* alias = v.aliasname_length > 0 ? v.aliasname : v.sqlname;
        const short length = v.aliasname_length > 0 ? v.aliasname_length : v.sqlname_length;
        columns.push_back({c.Decode(alias, length), TypeNameOf(v), DisplayWidthOf(v)});
    }
}

void DatabaseStatement::Impl::PrepareOnServer() {
    auto& c = Conn();
    c.EnsureTransaction(kind);
    Release();
    c.Check(c.Api().isc_dsql_allocate_statement(c.status, &c.db, &handle));
    const QByteArray sql = c.Encode(text);
    const auto length = sql.size() >= 65536 ? 0 : static_cast<unsigned short>(sql.size());
    ++c.prepareCount;
    try {
        c.Check(c.Api().isc_dsql_prepare(c.status, &c.tr, &handle, length, sql.constData(),
                                         static_cast<unsigned short>(c.dialect), nullptr));
        const char item = isc_info_sql_stmt_type;
        char reply[64] = {};
        c.Check(c.Api().isc_dsql_sql_info(c.status, &handle, 1, &item, sizeof reply, reply));
        serverType = 0;
        if (reply[0] == isc_info_sql_stmt_type) {
            const int len = static_cast<unsigned char>(reply[1]) | (static_cast<unsigned char>(reply[2]) << 8);
            if (len > 0 && len <= 4)
                serverType = static_cast<int>(c.Api().isc_portable_integer(reinterpret_cast<const ISC_UCHAR*>(reply + 3),
                                                                          static_cast<short>(len)));
        }
        Describe();
    } catch (...) {
        Release();
        throw;
    }
    prepared = true;
}

void DatabaseStatement::Impl::FreeOtherStatementsOfTransaction() {
    auto& c = Conn();
    if (c.scalar && c.scalar->d.get() != this)
        c.scalar->d->Release();
    for (DatabaseStatement* s : c.statements)
        if (s->d.get() != this)
            s->d->Release();
}

void DatabaseStatement::Impl::ExecuteImmediate() {
    auto& c = Conn();
    c.EnsureTransaction(kind);
    if (kind == StatementKind::Commit || kind == StatementKind::Rollback)
        FreeOtherStatementsOfTransaction();
    const QByteArray sql = c.Encode(text);
    const auto length = sql.size() >= 65536 ? 0 : static_cast<unsigned short>(sql.size());
    c.Check(c.Api().isc_dsql_execute_immediate(c.status, &c.db, &c.tr, length, sql.constData(),
                                               static_cast<unsigned short>(c.dialect), nullptr));
    if (kind == StatementKind::Commit || kind == StatementKind::Rollback || kind == StatementKind::StartTransaction) {
        c.levels.clear();
        c.autoStarted = c.dirty = false;
        if (c.tr) {
            const int n = ++c.serial;
            c.levels.push_back({QString::number(n), n});
            c.dirty = true;
        }
    } else {
        c.dirty = true;
    }
}

void DatabaseStatement::Impl::CountRows(bool executed) {
    selected = inserted = updated = deleted = -1;
    auto& c = Conn();
    bool ask = false;
    switch (serverType) {
    case isc_info_sql_stmt_insert:
        inserted = 1;
        selected = updated = deleted = 0;
        return;
    case isc_info_sql_stmt_update:
    case isc_info_sql_stmt_delete: ask = true; break;
    case isc_info_sql_stmt_exec_procedure:
        ask = executed && c.lib->IsFirebird(ClientLibrary::kVersion20) &&
              (kind == StatementKind::Insert || kind == StatementKind::Update || kind == StatementKind::Merge ||
               kind == StatementKind::Delete);
        break;
    default: break;
    }
    if (!ask)
        return;
    const char item = isc_info_sql_records;
    char reply[1025] = {};
    {
        const ServerWait::Call waiting;
        c.Check(c.Api().isc_dsql_sql_info(c.status, &handle, 1, &item, sizeof reply, reply));
    }
    if (reply[0] != isc_info_sql_records)
        return;
    const int total = static_cast<unsigned char>(reply[1]) | (static_cast<unsigned char>(reply[2]) << 8);
    int at = 3;
    const int end = std::min(3 + total, static_cast<int>(sizeof reply));
    while (at + 3 <= end) {
        const unsigned char tag = static_cast<unsigned char>(reply[at]);
        if (tag == isc_info_end)
            break;
        const int len = static_cast<unsigned char>(reply[at + 1]) | (static_cast<unsigned char>(reply[at + 2]) << 8);
        if (at + 3 + len > end)
            break;
        const auto value = c.Api().isc_portable_integer(reinterpret_cast<const ISC_UCHAR*>(reply + at + 3),
                                                        static_cast<short>(len));
        switch (tag) {
        case isc_info_req_select_count: selected = value; break;
        case isc_info_req_insert_count: inserted = value; break;
        case isc_info_req_update_count: updated = value; break;
        case isc_info_req_delete_count: deleted = value; break;
        default: break;
        }
        at += 3 + len;
    }
}

void DatabaseStatement::Impl::DecodeRow() {
    auto& c = Conn();
    row.clear();
    row.reserve(out.Count());
    for (int i = 0; i < out.Count(); ++i) {
        const XSQLVAR& v = out.Get()->sqlvar[i];
        if ((v.sqltype & 1) && v.sqlind && *v.sqlind < 0) {
            row.push_back(Value::Null());
            continue;
        }
        const char* p = v.sqldata;
        switch (v.sqltype & ~1) {
        case SQL_TEXT: {
            qsizetype n = v.sqllen;
            while (n > 0 && p[n - 1] == ' ')
                --n;
            row.push_back(Value::Text(c.Decode(p, n)));
            break;
        }
        case SQL_VARYING: {
            unsigned short n;
            std::memcpy(&n, p, 2);
            row.push_back(Value::Text(c.Decode(p + 2, std::min<int>(n, v.sqllen))));
            break;
        }
        case SQL_SHORT:
        case SQL_LONG:
        case SQL_INT64: {
            std::int64_t value = 0;
            if ((v.sqltype & ~1) == SQL_SHORT) {
                std::int16_t x;
                std::memcpy(&x, p, 2);
                value = x;
            } else if ((v.sqltype & ~1) == SQL_LONG) {
                std::int32_t x;
                std::memcpy(&x, p, 4);
                value = x;
            } else {
                std::memcpy(&value, p, 8);
            }
            if (v.sqlscale == 0)
                row.push_back(Value::Integer(value));
            else if ((v.sqltype & ~1) == SQL_INT64 && v.sqlscale == -4)
                row.push_back(Value::Decimal(value));
            else
                row.push_back(Value::Currency(ToScale4(value, v.sqlscale)));
            break;
        }
        case SQL_FLOAT: {
            float x;
            std::memcpy(&x, p, 4);
            row.push_back(Value::Double(x));
            break;
        }
        case SQL_DOUBLE:
        case SQL_D_FLOAT: {
            double x;
            std::memcpy(&x, p, 8);
            row.push_back(Value::Double(x));
            break;
        }
        case SQL_TIMESTAMP: {
            ISC_TIMESTAMP ts;
            std::memcpy(&ts, p, sizeof ts);
            row.push_back(Value::DateTime(QDateTime(DateOf(ts.timestamp_date), TimeOf(ts.timestamp_time))));
            break;
        }
        case SQL_TYPE_DATE: {
            ISC_DATE x;
            std::memcpy(&x, p, sizeof x);
            row.push_back(Value::Date(DateOf(x)));
            break;
        }
        case SQL_TYPE_TIME: {
            ISC_TIME x;
            std::memcpy(&x, p, sizeof x);
            row.push_back(Value::Time(TimeOf(x)));
            break;
        }
        case kTimestampTz:
        case kTimestampTzEx: {
            ISC_TIMESTAMP ts;
            std::memcpy(&ts, p, sizeof ts);
            std::int16_t offset = 0;
            if ((v.sqltype & ~1) == kTimestampTzEx)
                std::memcpy(&offset, p + sizeof ts + 2, 2);
            QDateTime local(DateOf(ts.timestamp_date), TimeOf(ts.timestamp_time));
            row.push_back(Value::DateTime(local.addSecs(offset * 60)));
            break;
        }
        case kTimeTz:
        case kTimeTzEx: {
            ISC_TIME t;
            std::memcpy(&t, p, sizeof t);
            std::int16_t offset = 0;
            if ((v.sqltype & ~1) == kTimeTzEx)
                std::memcpy(&offset, p + sizeof t + 2, 2);
            row.push_back(Value::Time(TimeOf(t).addSecs(offset * 60)));
            break;
        }
        case SQL_BOOLEAN: row.push_back(Value::Boolean(*p != 0)); break;
        case SQL_BLOB: row.push_back(Value::Blob(QStringLiteral("(BLOB)"))); break;
        default: row.push_back(Value::Text(QStringLiteral("(?)"))); break;
        }
    }
}

// ---- DatabaseStatement ----

DatabaseStatement::DatabaseStatement(DatabaseConnection& connection) : d(std::make_unique<Impl>()) {
    d->connection = &connection;
    connection.d->statements.insert(this);
}

DatabaseStatement::~DatabaseStatement() {
    d->Release();
    if (d->connection)
        d->connection->d->statements.erase(this);
}

void DatabaseStatement::Prepare(const QString& text) {
    d->Release();
    d->text = text;
    d->kind = StatementKindOf(text);
    d->columns.clear();
    d->row.clear();
    d->out.Resize(1);
    d->in.Resize(1);
    if (IsImmediateKind(d->kind))
        return;
    auto& c = d->Conn();
    c.EnsureOpen();
    c.Guarded(false, [&] { d->PrepareOnServer(); });
}

namespace {
/// A COMMIT or ROLLBACK statement with no transaction active has nothing to end ("COMMIT; COMMIT;" in a
/// script, or a commit after the connection committed on its own): it does nothing.
bool NothingToEnd(StatementKind kind, const DatabaseConnection::Impl& c) {
    return (kind == StatementKind::Commit || kind == StatementKind::Rollback) && c.levels.empty() && !c.tr;
}

/// Runs one execution of a statement: an error raised there carries the row index 0.
template <class F>
auto Executing(F&& f) -> decltype(f()) {
    try {
        return f();
    } catch (DatabaseError& e) {
        e.SetRowIndex(0);
        throw;
    }
}
} // namespace

bool DatabaseStatement::Open() {
    auto& c = d->Conn();
    c.EnsureOpen();
    c.lastWarning.reset();
    d->selected = d->inserted = d->updated = d->deleted = -1;
    if (NothingToEnd(d->kind, c))
        return false;
    return Executing([&] { return c.Guarded(false, [&]() -> bool {
        if (IsImmediateKind(d->kind)) {
            // Prepared only to learn whether it yields columns; it never does, so it runs immediately.
            d->PrepareOnServer();
            const bool columns = d->out.Count() > 0;
            d->Release();
            if (!columns) {
                d->ExecuteImmediate();
                return false;
            }
        }
        if (!d->prepared)
            d->PrepareOnServer();
        if (d->kind != StatementKind::Select)
            c.dirty = true;
        if (d->out.Count() > 0 && d->serverType == isc_info_sql_stmt_exec_procedure) {
            c.Check(c.Api().isc_dsql_execute2(c.status, &c.tr, &d->handle, SQLDA_VERSION1, d->in.Get(), d->out.Get()));
            d->DecodeRow();
            d->pendingRow = true;
            d->cursorOpen = true;
            d->CountRows(false);
            return true;
        }
        if (d->out.Count() > 0) {
            c.Check(c.Api().isc_dsql_execute2(c.status, &c.tr, &d->handle, SQLDA_VERSION1, d->in.Get(), nullptr));
            d->cursorOpen = true;
            d->CountRows(false);
            return true;
        }
        c.Check(c.Api().isc_dsql_execute2(c.status, &c.tr, &d->handle, SQLDA_VERSION1, d->in.Get(), nullptr));
        d->CountRows(true);
        return false;
    }); });
}

void DatabaseStatement::Execute() {
    auto& c = d->Conn();
    c.EnsureOpen();
    c.lastWarning.reset();
    d->selected = d->inserted = d->updated = d->deleted = -1;
    if (NothingToEnd(d->kind, c))
        return;
    Executing([&] { c.Guarded(false, [&] {
        if (IsImmediateKind(d->kind)) {
            d->ExecuteImmediate();
            return;
        }
        if (!d->prepared)
            d->PrepareOnServer();
        if (d->kind != StatementKind::Select)
            c.dirty = true;
        c.Check(c.Api().isc_dsql_execute2(c.status, &c.tr, &d->handle, SQLDA_VERSION1, d->in.Get(),
                                          d->out.Count() > 0 ? d->out.Get() : nullptr));
        d->CountRows(true);
    }); });
}

bool DatabaseStatement::Fetch() {
    if (!d->cursorOpen)
        return false;
    if (d->pendingRow) {
        d->pendingRow = false;
        d->cursorOpen = d->serverType != isc_info_sql_stmt_exec_procedure;
        return true;
    }
    if (d->serverType == isc_info_sql_stmt_exec_procedure) {
        d->cursorOpen = false;
        return false;
    }
    auto& c = d->Conn();
    return Executing([&] { return c.Guarded(true, [&]() -> bool {
        const ISC_STATUS rc = c.Api().isc_dsql_fetch(c.status, &d->handle, SQLDA_VERSION1, d->out.Get());
        if (rc == 0) {
            d->DecodeRow();
            return true;
        }
        if (rc == 100 || (c.status[0] == isc_arg_gds && c.status[1] == isc_stream_eof)) {
            ISC_STATUS_ARRAY ignored{};
            c.Api().isc_dsql_free_statement(ignored, &d->handle, DSQL_close);
            d->cursorOpen = false;
            return false;
        }
        c.Check(rc);
        return false;
    }); });
}

void DatabaseStatement::Close() {
    if (!d->cursorOpen)
        return;
    d->cursorOpen = false;
    d->pendingRow = false;
    if (d->handle && d->serverType != isc_info_sql_stmt_exec_procedure) {
        auto& c = d->Conn();
        const ServerWait::Call waiting;
        const ISC_STATUS rc = c.Api().isc_dsql_free_statement(c.status, &d->handle, DSQL_close);
        if (rc != 0 && !IsLostConnection(c.status))
            c.Check(rc);
    }
}

void DatabaseStatement::Unprepare() {
    if (!d->handle) {
        d->prepared = false;
        return;
    }
    auto& c = d->Conn();
    const ServerWait::Call waiting;
    const ISC_STATUS rc = c.Api().isc_dsql_free_statement(c.status, &d->handle, DSQL_drop);
    d->handle = 0;
    d->prepared = d->cursorOpen = d->pendingRow = false;
    if (rc != 0 && !IsLostConnection(c.status))
        c.Check(rc);
}

void DatabaseStatement::SetParameters(std::vector<std::optional<QString>> values) {
    d->parameters = std::move(values);
    if (d->prepared) {
        d->in.AllocateBuffers(true);
        d->BindParameters();
    }
}

void DatabaseStatement::PrepareOnServer(const QString& text) {
    Prepare(text);
    if (d->prepared)
        return;
    auto& c = d->Conn();
    c.EnsureOpen();
    c.Guarded(false, [&] { d->PrepareOnServer(); });
}

const QString& DatabaseStatement::Text() const { return d->text; }
StatementKind DatabaseStatement::Kind() const { return d->kind; }
bool DatabaseStatement::CursorOpen() const { return d->cursorOpen; }
const std::vector<ColumnInfo>& DatabaseStatement::Columns() const { return d->columns; }
const std::vector<Value>& DatabaseStatement::Row() const { return d->row; }

std::int64_t DatabaseStatement::RowsAffected() const {
    auto counted = [](std::int64_t v) { return v < 0 ? 0 : v; };
    return counted(d->inserted) + counted(d->updated) + counted(d->deleted);
}

bool DatabaseStatement::RowCountKnown() const {
    return d->inserted >= 0 || d->updated >= 0 || d->deleted >= 0 || d->selected >= 0;
}

} // namespace abd
