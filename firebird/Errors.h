#pragma once

#include "firebird/Failure.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <exception>
#include <vector>

namespace abd {

enum ErrorKind {
    ekOther = 0,
    ekNoDataFound,
    ekTooManyRows,
    ekRecordLocked,
    ekUKViolated,
    ekFKViolated,
    ekObjNotExists,
    ekUserPwdInvalid,
    ekUserPwdExpired,
    ekUserPwdWillExpire,
    ekCmdAborted,
    ekServerGone,
    ekServerOutput,
    ekArrExecMalfunc,
    ekInvalidParams,
};

/// The layer's own numbered error: "[Dravix][Layer]...-<code>. <text>".
class AccessError : public Failure {
public:
    AccessError(int code, QString message) : Failure(std::move(message)), code_(code) {}
    int Code() const noexcept { return code_; }

    /// Builds the message from the layer words, the code and a text whose %s placeholders take the arguments.
    static AccessError Make(const QStringList& layers, int code, const QString& text, const QStringList& args = {});

private:
    int code_;
};

struct DatabaseErrorItem {
    int Level = 1;
    std::int32_t ErrorCode = 0;
    QString Message;
    QString ObjName;
    ErrorKind Kind = ekOther;
    int CommandTextOffset = -1;
    int RowIndex = -1;
    int ExceptionCode = 0;
    int SQLCode = 0;
    QString SQLState;
};

/// The native database error, built from a status vector; the message carries the "[Dravix][Phys][FB]" prefix.
class DatabaseError : public AccessError {
public:
    static constexpr int kCode = 1400;
    explicit DatabaseError(std::vector<DatabaseErrorItem> items);

    const std::vector<DatabaseErrorItem>& Items() const noexcept { return items_; }
    ErrorKind Kind() const noexcept { return kind_; }
    /// The primary status code of the first item.
    std::int32_t ErrorCode() const noexcept { return items_.empty() ? 0 : items_.front().ErrorCode; }
    void SetRowIndex(int row);

private:
    std::vector<DatabaseErrorItem> items_;
    ErrorKind kind_ = ekOther;
};

inline const QString kDatabaseErrorPrefix = QStringLiteral("[Dravix][Phys][FB]");

// ---- Pure pieces of building a DatabaseError, tested without a server. ----

/// The numeric words of a status vector up to its terminating 0 (string arguments as opaque words).
using StatusWords = std::vector<std::intptr_t>;

/// One interpreted line and the word position where the interpretation pointer stood before it.
struct InterpretedLine {
    int Position = 0;
    QString Text;
};

struct Classification {
    ErrorKind Kind = ekOther;
    bool TakesObjectName = false;
    int ExceptionCode = 0;
};

/// Kind from the primary status code and the shape of the vector.
Classification ClassifyStatus(const StatusWords& words);

/// Object name from the interpreted lines; may turn the kind to ekOther ("already exists").
QString ExtractObjectName(const StatusWords& words, const std::vector<InterpretedLine>& lines, ErrorKind& kind,
                          bool firebird20OrLater);

/// A status whose first three words are 1, 0, 18 holds only warnings.
bool IsWarningVector(const StatusWords& words);

/// The error box text rule: "." appended when the last character's code is above that of ".".
QString WithFullStop(const QString& text);

/// The text the error box shows for an exception: the innermost non-empty message, with "." appended when its
/// last character's code is above that of "."; empty for a silent abort.
QString ErrorBoxText(std::exception_ptr error);
bool IsSilentAbort(std::exception_ptr error);

} // namespace abd
