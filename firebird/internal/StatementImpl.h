#pragma once
// Private to the firebird library: a statement's handle, descriptions and buffers.

#include "firebird/DatabaseStatement.h"
#include "firebird/internal/ConnectionImpl.h"

#include <optional>

namespace abd {

/// An XSQLDA with its data and indicator buffers, owned together.
class SqlDescription {
public:
    SqlDescription() { Resize(1); }
    XSQLDA* Get() { return reinterpret_cast<XSQLDA*>(storage_.data()); }
    const XSQLDA* Get() const { return reinterpret_cast<const XSQLDA*>(storage_.data()); }
    void Resize(int columns);
    /// Points every column at a buffer of its own; input columns are all set to NULL.
    void AllocateBuffers(bool allNull);
    /// Gives an input column a text value (the server converts it to the column's type).
    void BindText(int index, const QByteArray& bytes);
    int Count() const { return Get()->sqld; }

private:
    std::vector<char> storage_;
    std::vector<std::vector<char>> buffers_;
    std::vector<short> indicators_;
};

struct DatabaseStatement::Impl {
    DatabaseConnection* connection = nullptr;
    isc_stmt_handle handle = 0;
    QString text;
    StatementKind kind = StatementKind::Unknown;
    int serverType = 0;
    bool prepared = false;
    bool cursorOpen = false;
    bool pendingRow = false;
    SqlDescription out;
    SqlDescription in;
    std::vector<ColumnInfo> columns;
    std::vector<Value> row;
    /// The parameters' values in the order of the markers; a missing one is NULL.
    std::vector<std::optional<QString>> parameters;
    std::int64_t selected = -1, inserted = -1, updated = -1, deleted = -1;

    DatabaseConnection::Impl& Conn() { return *connection->d; }
    /// Frees the server handle quietly; the statement prepares again when next used.
    void Release() noexcept;
    void PrepareOnServer();
    void ExecuteImmediate();
    void Describe();
    void BindParameters();
    void CountRows(bool executed);
    void DecodeRow();
    void FreeOtherStatementsOfTransaction();
};

} // namespace abd
