#pragma once

#include "firebird/ConnectionSettings.h"

#include <QStringList>

namespace abd {

class ScriptRunner;

/// The loopback address that the login and the stored settings use for the local server.
inline const QString kLocalServer = QStringLiteral("127.0.0.1");

/// The upgrade script that brings the database to `version` (2 to 5), line by line.
QStringList UpgradeScript(int version);

/// The stored parameters of the program's connection, in their order.
ConnectionSettings StoredConnectionSettings();

/// Gives a script object its script and options: BreakOnError only for version 5.
void ConfigureUpgradeScript(ScriptRunner& runner, int version);

/// The columns of CONFIGURAR in the order that version 5 gives them.
QStringList ConfigurarColumnOrder();

} // namespace abd
