// Loading the Firebird client at run time: the client of this machine (the
// real libfbclient here; none in the private Wine prefix), a file that is
// missing, and a library that lacks the client's functions.
#include "check.h"

#include "erp/fb_library.h"

#include <string>

namespace {

bool contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

PLATFORM_CHECK("fb client: a missing file is named in a Portuguese message")
{
    const platform::FbClientLoad load = platform::LoadFbClient({"fbclient-ausente-1.dll", "fbclient-ausente-2.dll"});
    CHECK(!load.loaded);
    CHECK(load.path.empty());
    CHECK(load.functions.attach_database == nullptr);
    CHECK(contains(load.error, "Cliente do Firebird não encontrado: fbclient-ausente-1.dll nem fbclient-ausente-2.dll"));
}

PLATFORM_CHECK("fb client: a library without the client's functions names the first one missing")
{
#ifdef _WIN32
    const std::string other = "kernel32.dll";
#else
    const std::string other = "libm.so.6";
#endif
    const platform::FbClientLoad load = platform::LoadFbClient({other});
    CHECK(!load.loaded);
    CHECK(contains(load.path, other.substr(0, other.find('.'))));
    CHECK(contains(load.error, "não tem a função isc_attach_database"));
    CHECK(load.functions.attach_database == nullptr);
}

PLATFORM_CHECK("fb client: the default names are the platform's client files")
{
#ifdef _WIN32
    CHECK(platform::DefaultFbClientNames() == (std::vector<std::string>{"fbclient.dll", "gds32.dll"}));
#else
    CHECK(platform::DefaultFbClientNames() == (std::vector<std::string>{"libfbclient.so.2"}));
#endif
}

#ifdef _WIN32
// The checks run from a folder without fbclient.dll, and the private prefix
// has no Firebird client installed.
PLATFORM_CHECK("fb client: without a client the message names both files and the program's folder")
{
    const platform::FbClientLoad &client = platform::FbClient();
    CHECK(!client.loaded);
    CHECK(contains(client.error, "Cliente do Firebird não encontrado: fbclient.dll nem gds32.dll"));
    CHECK(contains(client.error, "não está na pasta do programa ("));
    CHECK(contains(client.error, "\\) nem no caminho de busca do Windows"));
}

// scripts/wine-tests.sh puts the stand-in client of tests/wine beside the
// checks under another name, so that the default names still find nothing.
PLATFORM_CHECK("fb client: a client beside the program is found first, with every function")
{
    const platform::FbClientLoad load = platform::LoadFbClient({"fbclient-ausente.dll", "fbclient-stand-in.dll"});
    CHECK_EQ(load.error, std::string());
    CHECK(load.loaded);
    CHECK(contains(load.path, "\\fbclient-stand-in.dll"));
    CHECK(load.functions.attach_database != nullptr);
    CHECK(load.functions.start_transaction != nullptr);
    CHECK(load.functions.cancel_operation != nullptr);
    ISC_STATUS status[ISC_STATUS_LENGTH] = {};
    isc_db_handle db = 0;
    load.functions.attach_database(status, 0, "x", &db, 0, nullptr);
    CHECK(db != 0);
    isc_tr_handle tr = 0;
    load.functions.start_transaction(status, &tr, 1, &db, 0, nullptr);
    CHECK(tr != 0);
}
#else
PLATFORM_CHECK("fb client: the installed client is found with every function, cancelling included")
{
    const platform::FbClientLoad &client = platform::FbClient();
    CHECK_EQ(client.error, std::string());
    CHECK(client.loaded);
    CHECK(contains(client.path, "libfbclient.so"));
    CHECK(client.functions.attach_database != nullptr);
    CHECK(client.functions.interpret != nullptr);
    CHECK(client.functions.cancel_operation != nullptr);
}
#endif
