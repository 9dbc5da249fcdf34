#include "firebird/internal/Status.h"

#include "firebird/Encoding.h"

namespace abd {

StatusWords WordsOf(const ISC_STATUS* v) {
    StatusWords words;
    std::size_t i = 0;
    while (v[i] != isc_arg_end && i < ISC_STATUS_LENGTH - 1) {
        const ISC_STATUS type = v[i];
        words.push_back(type);
        const std::size_t args = type == isc_arg_cstring ? 2 : 1;
        for (std::size_t k = 1; k <= args && i + k < ISC_STATUS_LENGTH; ++k)
            words.push_back(v[i + k]);
        i += 1 + args;
    }
    return words;
}

DatabaseError BuildDatabaseError(ClientLibrary& lib, const ISC_STATUS* vector) {
    std::lock_guard lock(lib.Mutex());
    const ClientApi& api = lib.Api();
    const StatusWords words = WordsOf(vector);
    const Classification cls = ClassifyStatus(words);

    std::vector<InterpretedLine> lines;
    const ISC_STATUS* cursor = vector;
    const bool modern = lib.IsFirebird(ClientLibrary::kVersion20) && api.fb_interpret;
    for (int guard = 0; guard < 64; ++guard) {
        char buffer[513] = {};
        const int position = static_cast<int>(cursor - vector);
        ISC_LONG length = 0;
        if (modern) {
            length = api.fb_interpret(buffer, sizeof buffer, &cursor);
        } else {
            ISC_STATUS* mutableCursor = const_cast<ISC_STATUS*>(cursor);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
            length = api.isc_interprete(buffer, &mutableCursor);
#pragma GCC diagnostic pop
            cursor = mutableCursor;
        }
        if (length <= 0)
            break;
        lines.push_back(
            {position, FromServer(buffer, static_cast<qsizetype>(qstrnlen(buffer, sizeof buffer)))});
    }

    DatabaseErrorItem item;
    item.ErrorCode = static_cast<std::int32_t>(words.size() > 1 ? words[1] : 0);
    item.Kind = cls.Kind;
    item.ExceptionCode = cls.ExceptionCode;
    if (cls.TakesObjectName)
        item.ObjName = ExtractObjectName(words, lines, item.Kind, lib.IsFirebird(ClientLibrary::kVersion20));

    QStringList texts;
    for (const auto& l : lines)
        texts << l.Text;
    item.SQLCode = static_cast<int>(api.isc_sqlcode(vector));
    if (item.SQLCode != 0 && item.SQLCode != -999) {
        char buffer[513] = {};
        api.isc_sql_interprete(static_cast<short>(item.SQLCode), buffer, sizeof buffer);
        texts << FromServer(buffer, static_cast<qsizetype>(qstrnlen(buffer, sizeof buffer)));
    }
    item.Message = texts.join(QStringLiteral("\r\n"));
    if (api.fb_sqlstate) {
        char state[6] = {};
        api.fb_sqlstate(state, vector);
        item.SQLState = QString::fromLatin1(state, static_cast<qsizetype>(qstrnlen(state, 5)));
    }
    return DatabaseError({item});
}

void CheckStatus(ClientLibrary& lib, ISC_STATUS result, const ISC_STATUS* vector,
                 std::optional<DatabaseError>* lastWarning) {
    const StatusWords head = WordsOf(vector);
    if (result == 0) {
        if (IsWarningVector(head) && lastWarning)
            lastWarning->emplace(BuildDatabaseError(lib, vector));
        return;
    }
    const auto high = (static_cast<std::uint32_t>(result) >> 30) & 3u;
    if (high == 0)
        throw BuildDatabaseError(lib, vector);
    if (high != 3 && lastWarning)
        lastWarning->emplace(BuildDatabaseError(lib, vector));
}

bool IsLostConnection(const ISC_STATUS* vector) {
    return vector[0] == isc_arg_gds && ClassifyStatus(WordsOf(vector)).Kind == ekServerGone;
}

} // namespace abd
