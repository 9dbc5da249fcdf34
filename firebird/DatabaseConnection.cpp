#include "firebird/DatabaseConnection.h"

#include "firebird/Encoding.h"
#include "firebird/internal/ConnectionImpl.h"
#include "firebird/internal/StatementImpl.h"

#include <chrono>

namespace abd {

// ---- Impl ----

QByteArray DatabaseConnection::Impl::Encode(const QString& text) const {
    return utf8 ? text.toUtf8() : ToCodePage(text);
}

QString DatabaseConnection::Impl::Decode(const char* data, qsizetype size) const {
    return utf8 ? QString::fromUtf8(data, size) : FromCodePage(data, size);
}

void DatabaseConnection::Impl::Attach() {
    lib = &ClientLibrary::Load();
    const QString charset = params.Value(QStringLiteral("CharacterSet"));
    utf8 = charset.compare(QStringLiteral("UTF8"), Qt::CaseInsensitive) == 0 ||
           charset.compare(QStringLiteral("UNICODE_FSS"), Qt::CaseInsensitive) == 0;
    const QString dialectText = params.Value(QStringLiteral("SQLDialect"));
    dialect = dialectText.isEmpty() ? 3 : dialectText.toInt();

    const ClientInfo client = InfoOf(*lib);
    const Bytes dpb = BuildAttachBlock(params, dialect, client);
    const QString target = BuildConnectionString(params);
    const std::optional<QByteArray> encoded = EncodeExactly(target, client.DatabaseText());
    if (!encoded)
        throw UncarriedText(
            QStringLiteral("O nome do banco de dados tem um caractere que não pode ser enviado como "
                           "está (\"%1\").")
                .arg(*UncarriedCharacter(target, client.DatabaseText())));
    const QByteArray& name = *encoded;

    const ServerWait::Call waiting;
    {
        std::lock_guard lock(lib->Mutex());
        db = 0;
        const ISC_STATUS rc = Api().isc_attach_database(
            status, static_cast<short>(name.size()), name.constData(), &db, static_cast<short>(dpb.size()),
            reinterpret_cast<const ISC_SCHAR*>(dpb.data()));
        lib->KeepSignalHandlers();
        Check(rc);
    }
    cancellable = db;

    try {
        const char item = lib->Brand() == ClientBrand::InterBase ? isc_info_version : isc_info_firebird_version;
        std::vector<char> reply(32761);
        Check(Api().isc_database_info(status, &db, 1, &item, static_cast<short>(reply.size()), reply.data()));
        // item, 2-byte length, count, then counted strings: the second when there are two, else the first.
        if (static_cast<unsigned char>(reply[0]) == static_cast<unsigned char>(item)) {
            const int count = static_cast<unsigned char>(reply[3]);
            std::size_t at = 4;
            QStringList texts;
            for (int i = 0; i < count && at < reply.size(); ++i) {
                const std::size_t len = static_cast<unsigned char>(reply[at]);
                if (at + 1 + len > reply.size())
                    break;
                texts << QString::fromLatin1(reply.data() + at + 1, static_cast<qsizetype>(len));
                at += 1 + len;
            }
            serverVersion = texts.size() >= 2 ? texts[1] : texts.value(0);
        }
    } catch (...) {
        DropAttachment();
        throw;
    }
}

void DatabaseConnection::Impl::ReleaseStatements() noexcept {
    if (scalar)
        scalar->d->Release();
    for (DatabaseStatement* s : statements)
        s->d->Release();
}

void DatabaseConnection::Impl::DropAttachment() noexcept {
    ReleaseStatements();
    if (tr && lib) {
        const ServerWait::Call waiting;
        ISC_STATUS_ARRAY ignored{};
        lib->Api().isc_rollback_transaction(ignored, &tr);
    }
    tr = 0;
    levels.clear();
    autoStarted = dirty = false;
    cancellable = 0;
    if (db && lib) {
        const ServerWait::Call waiting;
        std::lock_guard lock(lib->Mutex());
        ISC_STATUS_ARRAY ignored{};
        lib->Api().isc_detach_database(ignored, &db);
    }
    db = 0;
}

bool DatabaseConnection::Impl::PauseBeforeAttempt() {
    std::unique_lock lock(cancelMutex);
    return !cancelWake.wait_for(lock, std::chrono::milliseconds(reconnectPauseMs), [this] { return cancelRequested; });
}

void DatabaseConnection::Impl::NotifyClosed() {
    // Listeners may remove themselves (or their statements) while being told.
    const auto listeners = closeListeners;
    for (const auto& [id, listener] : listeners)
        if (closeListeners.count(id))
            listener();
}

void DatabaseConnection::Impl::Recover() {
    recovering = true;
    state = ConnectionState::Recovering;
    DropAttachment();
    serial = 0;
    std::optional<DatabaseError> last;
    for (int attempt = 1; attempt <= 3; ++attempt) {
        if (attempt > 1 && !PauseBeforeAttempt())
            break;
        try {
            Attach();
            state = ConnectionState::Open;
            recovering = false;
            return;
        } catch (const DatabaseError& e) {
            last = e;
        } catch (...) {
            recovering = false;
            state = ConnectionState::Closed;
            NotifyClosed();
            throw;
        }
    }
    recovering = false;
    state = ConnectionState::Closed;
    NotifyClosed();
    throw *last; // the first attempt runs without a pause, so there is always one
}

void DatabaseConnection::Impl::EnsureOpen() {
    if (state == ConnectionState::Closed)
        self->Open();
}

void DatabaseConnection::Impl::EnsureTransaction(StatementKind kind) {
    if (lostTransaction)
        throw *lostTransaction;
    if (!levels.empty() || kind == StatementKind::StartTransaction || kind == StatementKind::Commit ||
        kind == StatementKind::Rollback)
        return;
    StartTransactionLevel(true);
}

void DatabaseConnection::Impl::StartTransactionLevel(bool automatic) {
    if (lostTransaction)
        throw *lostTransaction;
    if (levels.empty()) {
        const Bytes tpb = BuildTransactionBlock(self->TransactionIsolation, self->ReadOnly, self->LockWait);
        Guarded(false, [&] {
            TransactionEntry teb{&db, static_cast<int>(tpb.size()), reinterpret_cast<const ISC_SCHAR*>(tpb.data())};
            std::lock_guard lock(lib->Mutex());
            tr = 0;
            Check(Api().isc_start_multiple(status, &tr, 1, &teb));
        });
        const int n = ++serial;
        levels.push_back({QString::number(n), n});
        autoStarted = automatic;
        dirty = !automatic;
        return;
    }
    const int n = serial + 1;
    const QString name = QStringLiteral("SP_") + QString::number(n);
    ExecuteImmediateInTransaction(QStringLiteral("SAVEPOINT ") + name);
    serial = n;
    levels.push_back({name, n});
    dirty = true;
}

void DatabaseConnection::Impl::ExecuteImmediateInTransaction(const QString& text) {
    const QByteArray sql = Encode(text);
    Check(Api().isc_dsql_execute_immediate(status, &db, &tr, 0, sql.constData(), static_cast<unsigned short>(dialect),
                                           nullptr));
}

void DatabaseConnection::Impl::EndInnermost(bool commit) {
    if (levels.empty())
        return;
    const ServerWait::Call waiting;
    if (levels.size() >= 2) {
        const QString name = levels.back().Name;
        ExecuteImmediateInTransaction((commit ? QStringLiteral("RELEASE SAVEPOINT ") : QStringLiteral("ROLLBACK TO SAVEPOINT ")) +
                                      name);
        levels.pop_back();
        return;
    }
    ReleaseStatements();
    if (commit) {
        // A failed commit (a lost connection included) raises and leaves the transaction and its levels as
        // they were, so that a rollback can follow.
        Check(Api().isc_commit_transaction(status, &tr));
    } else {
        const ISC_STATUS rc = Api().isc_rollback_transaction(status, &tr);
        if (rc != 0 && !IsLostConnection(status))
            Check(rc);
    }
    tr = 0;
    levels.clear();
    autoStarted = dirty = false;
}

// ---- DatabaseConnection ----

DatabaseConnection::DatabaseConnection(QString name, ConnectionSettings settings) : d(std::make_unique<Impl>()) {
    d->self = this;
    d->name = std::move(name);
    d->params = std::move(settings);
}

DatabaseConnection::~DatabaseConnection() {
    d->lostTransaction.reset();
    try {
        Close();
    } catch (...) {
        d->DropAttachment();
    }
    d->scalar.reset();
    for (DatabaseStatement* s : d->statements)
        s->d->connection = nullptr;
}

const QString& DatabaseConnection::Name() const { return d->name; }
const ConnectionSettings& DatabaseConnection::Params() const { return d->params; }
QString DatabaseConnection::Param(const QString& name) const { return d->params.Value(name); }

void DatabaseConnection::SetParam(const QString& name, const QString& value) {
    Close();
    d->params.SetValue(name, value);
}

void DatabaseConnection::SetReconnectPause(int milliseconds) { d->reconnectPauseMs = milliseconds; }

void DatabaseConnection::Open() {
    if (d->state != ConnectionState::Closed)
        return;
    d->state = ConnectionState::Connecting;
    d->serial = 0;
    d->levels.clear();
    {
        std::lock_guard lock(d->cancelMutex);
        d->cancelRequested = false;
    }
    try {
        try {
            d->Attach();
        } catch (const DatabaseError& e) {
            if (e.Kind() != ekServerGone || !AutoReconnect)
                throw;
            // The recovery's attachment is the connection's: an opening that recovered is complete, and is not
            // run again (that would attach a second time and leave the first attachment behind).
            d->Recover();
        }
    } catch (...) {
        d->DropAttachment();
        d->state = ConnectionState::Closed;
        throw;
    }
    d->state = ConnectionState::Open;
}

void DatabaseConnection::Close() {
    if (d->state == ConnectionState::Closed)
        return;
    // Closing commits: a transaction that was lost cannot be, and the caller has to roll it back first.
    if (d->lostTransaction)
        throw *d->lostTransaction;
    d->ReleaseStatements();
    while (!d->levels.empty())
        d->EndInnermost(true);
    d->cancellable = 0;
    if (d->db) {
        const ServerWait::Call waiting;
        std::lock_guard lock(d->lib->Mutex());
        const ISC_STATUS rc = d->Api().isc_detach_database(d->status, &d->db);
        d->db = 0;
        d->tr = 0;
        d->state = ConnectionState::Closed;
        d->serial = 0;
        if (rc != 0 && !IsLostConnection(d->status)) {
            d->NotifyClosed();
            d->Check(rc);
        }
    }
    d->db = 0;
    d->state = ConnectionState::Closed;
    d->serial = 0;
    d->scalarText.clear();
    d->NotifyClosed();
}

void DatabaseConnection::Disconnect() noexcept {
    if (d->state == ConnectionState::Closed)
        return;
    d->lostTransaction.reset();
    d->DropAttachment();
    d->state = ConnectionState::Closed;
    d->serial = 0;
    d->scalarText.clear();
    d->NotifyClosed();
}

void DatabaseConnection::DropDatabase() {
    d->lostTransaction.reset();
    d->EnsureOpen();
    d->ReleaseStatements();
    if (d->tr) {
        const ServerWait::Call waiting;
        ISC_STATUS_ARRAY ignored{};
        d->Api().isc_rollback_transaction(ignored, &d->tr);
    }
    d->tr = 0;
    d->levels.clear();
    d->autoStarted = d->dirty = false;
    d->cancellable = 0;
    ISC_STATUS rc = 0;
    {
        const ServerWait::Call waiting;
        std::lock_guard lock(d->lib->Mutex());
        rc = d->Api().isc_drop_database(d->status, &d->db);
    }
    if (rc == 0)
        d->db = 0;
    std::optional<DatabaseError> failure;
    if (rc != 0) {
        try {
            d->Check(rc);
        } catch (const DatabaseError& e) {
            failure = e;
        }
        d->DropAttachment(); // a refused drop leaves the attachment: it goes too
    }
    d->db = 0;
    d->state = ConnectionState::Closed;
    d->serial = 0;
    d->scalarText.clear();
    d->NotifyClosed();
    if (failure)
        throw *failure;
}

bool DatabaseConnection::Connected() const { return d->state == ConnectionState::Open; }
ConnectionState DatabaseConnection::State() const { return d->state; }

void DatabaseConnection::StartTransaction() {
    d->EnsureOpen();
    d->StartTransactionLevel(false);
}

void DatabaseConnection::Commit() {
    if (d->lostTransaction)
        throw *d->lostTransaction;
    d->EnsureOpen();
    d->EndInnermost(true);
}

void DatabaseConnection::Rollback() {
    // The server already rolled the lost transaction back with its attachment.
    if (d->lostTransaction) {
        d->lostTransaction.reset();
        return;
    }
    d->EnsureOpen();
    d->EndInnermost(false);
}

void DatabaseConnection::CancelOperation() {
    {
        std::lock_guard lock(d->cancelMutex);
        d->cancelRequested = true;
    }
    d->cancelWake.notify_all();
    isc_db_handle handle = d->cancellable.load();
    ClientLibrary* lib = ClientLibrary::Loaded();
    if (handle && lib && lib->Api().fb_cancel_operation) {
        // The server answers "nothing to cancel" between statements; a handle detached meanwhile is
        // refused by the client library. Neither is a failure of the request.
        ISC_STATUS_ARRAY ignored{};
        lib->Api().fb_cancel_operation(ignored, &handle, fb_cancel_raise);
    }
}

bool DatabaseConnection::InTransaction() const { return !d->levels.empty() || d->lostTransaction.has_value(); }
const std::vector<TransactionLevel>& DatabaseConnection::Levels() const { return d->levels; }

Value DatabaseConnection::ExecSQLScalar(const QString& text) {
    d->EnsureOpen();
    if (!d->scalar)
        d->scalar.reset(new DatabaseStatement(*this));
    DatabaseStatement& s = *d->scalar;
    if (text != d->scalarText || s.Text() != text) {
        d->scalarText.clear();
        s.Prepare(text);
        d->scalarText = text;
    }
    struct CursorCloser {
        DatabaseStatement& s;
        ~CursorCloser() {
            try {
                s.Close();
            } catch (...) {
            }
        }
    } closer{s};
    Value result;
    if (s.Open()) {
        bool first = true;
        while (s.Fetch())
            if (first) {
                first = false;
                if (!s.Row().empty())
                    result = s.Row().front();
            }
    }
    return result;
}

std::unique_ptr<DatabaseStatement> DatabaseConnection::CreateStatement() {
    return std::unique_ptr<DatabaseStatement>(new DatabaseStatement(*this));
}

int DatabaseConnection::AddCloseListener(std::function<void()> listener) {
    const int id = d->nextListener++;
    d->closeListeners[id] = std::move(listener);
    return id;
}

void DatabaseConnection::RemoveCloseListener(int id) { d->closeListeners.erase(id); }
const QString& DatabaseConnection::ServerVersionText() const { return d->serverVersion; }
int DatabaseConnection::ServerPrepareCount() const { return d->prepareCount; }
bool DatabaseConnection::Utf8() const { return d->utf8; }

} // namespace abd
