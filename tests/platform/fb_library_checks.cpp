// Loading the Firebird client at run time: the client of this machine (the
// real libfbclient here; none in the private Wine prefix), a file that is
// missing, and a library that lacks the client's functions.
#include "check.h"

#include "erp/fb_library.h"

#include <string>

#ifdef _WIN32
#include "check_files.h"

#include <windows.h>
#endif

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
    CHECK(contains(load.error, "Cliente do Firebird não encontrado: não há fbclient-ausente-1.dll nem fbclient-ausente-2.dll"));
    CHECK_EQ(platform::FbNamesList({"a", "b", "c"}), "a, b nem c");
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
    CHECK(contains(client.error, "Cliente do Firebird não encontrado: não há fbclient.dll nem gds32.dll na pasta do programa ("));
    CHECK(contains(client.error, "\\), na instalação do Firebird registrada no Windows nem no caminho de busca do Windows."));
    CHECK(contains(client.error, "cliente de 64 bits do Firebird 3"));
}

// scripts/wine-tests.sh puts beside the checks a 32-bit DLL and one that
// imports a DLL nobody has; a client that Firebird's setup registered is
// looked for after the program's folder.
PLATFORM_CHECK("fb client: a file that is there but unusable gets its own message; the registered installation is next")
{
    struct Case {
        const char *name;
        const char *message;
    };
    for (const Case &c : {Case{"fbclient-32bit.dll", "fbclient-32bit.dll é de 32 bits e este programa, de 64 bits, só pode usar um cliente de 64 bits. Instale o cliente de 64 bits"},
                          Case{"fbclient-sem-dependencia.dll", "fbclient-sem-dependencia.dll está lá, mas falta uma das DLLs de que ele precisa"}}) {
        const platform::FbClientLoad load = platform::LoadFbClient({"fbclient-ausente.dll", c.name});
        CHECK(!load.loaded);
        CHECK(contains(load.error, "O cliente do Firebird "));
        CHECK(contains(load.error, c.message));
    }

    const wchar_t key[] = L"SOFTWARE\\Firebird Project\\Firebird Server\\Instances";
    HKEY instances = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ | KEY_WOW64_64KEY, &instances) == ERROR_SUCCESS) {
        RegCloseKey(instances);
        return; // a real installation: not touched
    }
    platform_check::TempFolder firebird("firebird");
    std::filesystem::copy_file("fbclient-stand-in.dll", firebird.path() / "fbclient-32bit.dll");
    const std::wstring folder = firebird.path().wstring();
    CHECK(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &instances,
                          nullptr) == ERROR_SUCCESS);
    RegSetValueExW(instances, L"DefaultInstance", 0, REG_SZ, reinterpret_cast<const BYTE *>(folder.c_str()),
                   static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(instances);
    const platform::FbClientLoad load = platform::LoadFbClient({"fbclient-32bit.dll"});
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Firebird Project");
    CHECK_EQ(load.error, std::string());
    CHECK(load.loaded);
    CHECK(contains(load.path, firebird.path().filename().string() + "\\fbclient-32bit.dll"));
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
    CHECK(contains(client.version, "Firebird 3"));
    CHECK(client.functions.attach_database != nullptr);
    CHECK(client.functions.interpret != nullptr);
    CHECK(client.functions.cancel_operation != nullptr);
}
#endif
