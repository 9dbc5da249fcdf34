#pragma once

#include "firebird/StatementKind.h"

#include <QString>
#include <QStringList>

namespace abd {

/// A statement's text as the connection receives it, and the names of its parameters in the order of its markers.
struct StatementText {
    QString Sql;
    QStringList Parameters;
};

/// Prepares a statement's text for the connection, outside quotes and comments: every ":NAME" marker becomes "?"
/// (after a whole word BEGIN no ":" is a marker: a procedural body's variables stay as written), and the escape
/// sequences in curly braces become the dialect's syntax: {d '...'} DATE '...', {t '...'} TIME '...',
/// {ts '...'} TIMESTAMP '...', {fn F(...)} F(...), {escape '...'} ESCAPE '...'. A text without either comes back
/// unchanged.
StatementText TranslateStatement(const QString& text);

/// A statement that changes metadata, which isql's SET AUTODDL commits on its own: of the kind create, alter
/// or drop, or (of the kind other) a RECREATE, GRANT, REVOKE or COMMENT.
bool IsDefinitionStatement(StatementKind kind, const QString& text);

} // namespace abd
