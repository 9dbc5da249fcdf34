#pragma once

#include <QString>

namespace abd {

enum class StatementKind {
    Unknown,
    Select,
    SelectForLock,
    Insert,
    Update,
    Merge,
    Delete,
    Create,
    Alter,
    Drop,
    Execute,
    StartTransaction,
    Commit,
    Rollback,
    Set,
    Other,
};

/// Kind from the statement's significant words (outside comments, quoted texts and quoted names).
StatementKind StatementKindOf(const QString& text);

/// Create, alter, drop, start transaction, commit, rollback and set run without a server-side prepare.
bool IsImmediateKind(StatementKind kind);

/// Create, alter, drop, start transaction, commit, rollback, set: the outcome line says "Ok".
bool IsDefinitionGroup(StatementKind kind);

} // namespace abd
