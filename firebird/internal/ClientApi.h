#pragma once
// Private to the firebird library: the typed table of client-library entry points.

#include <ibase.h>

#ifndef isc_spb_bkp_zip
#define isc_spb_bkp_zip 0x10000
#endif

namespace abd {

#define ABD_REQUIRED_ENTRY_POINTS(X)                                                                            \
    X(isc_attach_database)                                                                                     \
    X(isc_detach_database)                                                                                     \
    X(isc_drop_database)                                                                                       \
    X(isc_database_info)                                                                                       \
    X(isc_start_multiple)                                                                                      \
    X(isc_commit_transaction)                                                                                  \
    X(isc_rollback_transaction)                                                                                \
    X(isc_dsql_allocate_statement)                                                                             \
    X(isc_dsql_prepare)                                                                                        \
    X(isc_dsql_describe)                                                                                       \
    X(isc_dsql_describe_bind)                                                                                  \
    X(isc_dsql_sql_info)                                                                                       \
    X(isc_dsql_execute2)                                                                                       \
    X(isc_dsql_execute_immediate)                                                                              \
    X(isc_dsql_fetch)                                                                                          \
    X(isc_dsql_free_statement)                                                                                 \
    X(isc_interprete)                                                                                          \
    X(isc_sqlcode)                                                                                             \
    X(isc_sql_interprete)                                                                                      \
    X(isc_portable_integer)                                                                                    \
    X(isc_service_attach)                                                                                      \
    X(isc_service_detach)                                                                                      \
    X(isc_service_query)                                                                                       \
    X(isc_service_start)

#define ABD_OPTIONAL_ENTRY_POINTS(X)                                                                            \
    X(fb_interpret)                                                                                            \
    X(fb_sqlstate)                                                                                             \
    X(fb_ping)                                                                                                 \
    X(fb_cancel_operation)                                                                                     \
    X(fb_shutdown)                                                                                             \
    X(fb_shutdown_callback)                                                                                    \
    X(isc_get_client_version)                                                                                  \
    X(isc_get_client_major_version)                                                                            \
    X(isc_get_client_minor_version)

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
struct ClientApi {
#define ABD_DECLARE(name) decltype(&::name) name = nullptr;
    ABD_REQUIRED_ENTRY_POINTS(ABD_DECLARE)
    ABD_OPTIONAL_ENTRY_POINTS(ABD_DECLARE)
#undef ABD_DECLARE
};
#pragma GCC diagnostic pop

/// One database entry of isc_start_multiple's vector, as the client library reads it.
struct TransactionEntry {
    isc_db_handle* Database;
    int TpbLength;
    const ISC_SCHAR* Tpb;
};

} // namespace abd
