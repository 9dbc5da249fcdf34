#pragma once

#include "firebird/StatementKind.h"
#include "firebird/Value.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace abd {

class DatabaseConnection;

struct ColumnInfo {
    QString Name;
    QString TypeName;
    int DisplayWidth = 0;
};

/// One SQL statement on a connection, always in the connection's one transaction.
class DatabaseStatement {
public:
    ~DatabaseStatement();
    DatabaseStatement(const DatabaseStatement&) = delete;
    DatabaseStatement& operator=(const DatabaseStatement&) = delete;

    /// Sets the text and finds its kind; prepares on the server unless the kind runs immediately.
    void Prepare(const QString& text);
    /// Prepares on the server whatever the kind, without executing: the server checks the statement.
    void PrepareOnServer(const QString& text);
    /// Values for the "?" markers, in their order, as texts the server converts; a missing one goes as NULL.
    void SetParameters(std::vector<std::optional<QString>> values);
    /// True when a cursor is open; a statement without rows is executed instead and gives false.
    bool Open();
    /// Executes a statement that yields no rows.
    void Execute();
    /// The next row of the open cursor into Row(); false (and the cursor closed) after the last row.
    bool Fetch();
    void Close();
    void Unprepare();

    const QString& Text() const;
    StatementKind Kind() const;
    bool CursorOpen() const;
    const std::vector<ColumnInfo>& Columns() const;
    const std::vector<Value>& Row() const;

    /// Inserted + updated + deleted, an uncounted one as 0.
    std::int64_t RowsAffected() const;
    /// False when the server gave no count for the last execution (counters at -1).
    bool RowCountKnown() const;

    struct Impl;

private:
    friend class DatabaseConnection;
    explicit DatabaseStatement(DatabaseConnection& connection);
    std::unique_ptr<Impl> d;
};

} // namespace abd
