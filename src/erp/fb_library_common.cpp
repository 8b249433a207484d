#include "erp/fb_library.h"

namespace platform {

namespace {

template <class Function>
bool Find(void *library, const char *name, Function &target, std::string &missing)
{
    target = reinterpret_cast<Function>(FbLibrarySymbol(library, name));
    if (!target && missing.empty())
        missing = name;
    return target != nullptr;
}

} // namespace

FbClientLoad LoadFbClient(const std::vector<std::string> &names)
{
    FbClientLoad load;
    void *library = OpenFbLibrary(names, load.path, load.error);
    if (!library)
        return load;
    FbClientFunctions &f = load.functions;
    std::string missing;
    Find(library, "isc_attach_database", f.attach_database, missing);
    Find(library, "isc_detach_database", f.detach_database, missing);
    Find(library, "isc_start_transaction", f.start_transaction, missing);
    Find(library, "isc_commit_transaction", f.commit_transaction, missing);
    Find(library, "isc_rollback_transaction", f.rollback_transaction, missing);
    Find(library, "isc_dsql_allocate_statement", f.dsql_allocate_statement, missing);
    Find(library, "isc_dsql_prepare", f.dsql_prepare, missing);
    Find(library, "isc_dsql_describe", f.dsql_describe, missing);
    Find(library, "isc_dsql_execute", f.dsql_execute, missing);
    Find(library, "isc_dsql_fetch", f.dsql_fetch, missing);
    Find(library, "isc_dsql_free_statement", f.dsql_free_statement, missing);
    Find(library, "isc_decode_sql_date", f.decode_sql_date, missing);
    Find(library, "isc_decode_timestamp", f.decode_timestamp, missing);
    Find(library, "fb_interpret", f.interpret, missing);
    Find(library, "fb_cancel_operation", f.cancel_operation, missing);
    if (!missing.empty()) {
        // An InterBase or Firebird 1.x gds32.dll lacks the newer functions.
        load.error = "O cliente do Firebird " + load.path + " não tem a função " + missing +
                     ": instale o cliente de 64 bits do Firebird 3 ou mais novo.";
        load.functions = {};
        return load;
    }
    load.loaded = true;
    if (auto getVersion = reinterpret_cast<decltype(&isc_get_client_version)>(
            FbLibrarySymbol(library, "isc_get_client_version"))) {
        // The client writes a short line with no length given: room to spare.
        char text[512] = {};
        getVersion(text);
        text[sizeof(text) - 1] = '\0';
        load.version = text;
    }
    return load;
}

std::string FbNamesList(const std::vector<std::string> &names)
{
    std::string list;
    for (std::size_t i = 0; i < names.size(); ++i)
        list += (i == 0 ? "" : i + 1 == names.size() ? " nem " : ", ") + names[i];
    return list;
}

const FbClientLoad &FbClient()
{
    static const FbClientLoad client = LoadFbClient(DefaultFbClientNames());
    return client;
}

} // namespace platform
