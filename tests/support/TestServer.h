#pragma once

#include <QString>
#include <QStringList>

#include "firebird/ConnectionSettings.h"
#include "firebird/ServiceSettings.h"

namespace abd::test {

/// The local server that scripts/firebird-server.sh starts.
QString Host();
QString Password();
/// A folder the server (user firebird) can write, for databases and backup files of the tests.
QString WorkFolder();

/// The connection settings the program stores, pointed at a database of the tests.
ConnectionSettings SettingsFor(const QString& database);
ServiceSettings ServiceSettingsFor(const QString& database = QString());

/// Runs isql on a database with the given SQL; fails the test process on error.
QString RunIsql(const QString& database, const QString& sql, bool* ok = nullptr);

/// A fresh database of its own per test, created on the server and deleted when the object goes.
class TempDatabase {
public:
    /// Creates the database and runs the SQL (isql syntax) in it.
    explicit TempDatabase(const QString& sql = QString(), const QString& stem = QStringLiteral("t"));
    ~TempDatabase();
    TempDatabase(const TempDatabase&) = delete;
    TempDatabase& operator=(const TempDatabase&) = delete;

    const QString& Path() const { return path_; }
    /// host:path, for isql.
    QString Remote() const { return Host() + QLatin1Char(':') + path_; }
    /// Runs SQL in the database; returns isql's output.
    QString Isql(const QString& sql) const { return RunIsql(Remote(), sql); }
    /// The first value that a one-column query prints, trimmed.
    QString Scalar(const QString& sql) const;

private:
    QString path_;
};

} // namespace abd::test
