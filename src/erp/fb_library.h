#pragma once
// The Firebird client library, loaded when first needed rather than linked:
// a machine without it gets a message naming the missing file instead of a
// loader that refuses to start the program. Knows nothing of Qt.
#include <ibase.h>

#include <string>
#include <vector>

namespace platform {

// Every client function the adapter calls, looked up once.
struct FbClientFunctions {
    decltype(&isc_attach_database) attach_database = nullptr;
    decltype(&isc_detach_database) detach_database = nullptr;
    decltype(&isc_start_transaction) start_transaction = nullptr;
    decltype(&isc_commit_transaction) commit_transaction = nullptr;
    decltype(&isc_rollback_transaction) rollback_transaction = nullptr;
    decltype(&isc_dsql_allocate_statement) dsql_allocate_statement = nullptr;
    decltype(&isc_dsql_prepare) dsql_prepare = nullptr;
    decltype(&isc_dsql_describe) dsql_describe = nullptr;
    decltype(&isc_dsql_execute) dsql_execute = nullptr;
    decltype(&isc_dsql_fetch) dsql_fetch = nullptr;
    decltype(&isc_dsql_free_statement) dsql_free_statement = nullptr;
    decltype(&isc_decode_sql_date) decode_sql_date = nullptr;
    decltype(&isc_decode_timestamp) decode_timestamp = nullptr;
    decltype(&fb_interpret) interpret = nullptr;
    // Safe to call from another thread while one waits inside the client.
    decltype(&fb_cancel_operation) cancel_operation = nullptr;
};

struct FbClientLoad {
    FbClientFunctions functions;
    bool loaded = false;
    // Full path of the library found (empty when none was).
    std::string path;
    // What the client says of itself ("WI-V3.0.11.33703 Firebird 3.0"); empty
    // when it does not say (isc_get_client_version is not required).
    std::string version;
    // Portuguese, UTF-8; names the missing file or function. Empty when loaded.
    std::string error;
};

// The file names looked for, in order: fbclient.dll and gds32.dll on Windows,
// libfbclient.so.2 elsewhere.
std::vector<std::string> DefaultFbClientNames();

// Loads the first of names that can be used and looks up every function. On
// Windows it looks beside the executable, then in the Firebird installation
// registered in the registry, then on the search path; a file that is there
// but cannot be loaded (another bitness, a companion DLL missing) is passed
// over for the next place, and named in the message when no place had a
// usable one. The library stays loaded for the rest of the process, also
// when a function is missing.
FbClientLoad LoadFbClient(const std::vector<std::string> &names);

// The process's client, loaded with DefaultFbClientNames on the first call.
const FbClientLoad &FbClient();

// ---- per platform (fb_loader_win.cpp, fb_loader_posix.cpp)

// A handle of the first library of names that loads, or null; path gets its
// full path. When null, error says why, in Portuguese (UTF-8).
void *OpenFbLibrary(const std::vector<std::string> &names, std::string &path, std::string &error);
void *FbLibrarySymbol(void *library, const char *name);

// "a", "a nem b", "a, b nem c": the names as the messages list them.
std::string FbNamesList(const std::vector<std::string> &names);

} // namespace platform
