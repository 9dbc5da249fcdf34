#pragma once
// Private to the firebird library: checking a call's status and building its DatabaseError.

#include "firebird/ClientLibrary.h"
#include "firebird/Errors.h"
#include "firebird/internal/ClientApi.h"

#include <optional>

namespace abd {

/// The numeric words of the vector up to its terminating 0.
StatusWords WordsOf(const ISC_STATUS* vector);

/// Builds the error from the vector while it is still valid (its strings belong to the client library).
DatabaseError BuildDatabaseError(ClientLibrary& lib, const ISC_STATUS* vector);

/// Raises the vector's error for an error status; records a warning; does nothing otherwise.
void CheckStatus(ClientLibrary& lib, ISC_STATUS result, const ISC_STATUS* vector,
                 std::optional<DatabaseError>* lastWarning = nullptr);

/// True when the vector holds a lost-connection error (treated as success by detach, rollback and free).
bool IsLostConnection(const ISC_STATUS* vector);

} // namespace abd
