#include "erp/fb_library.h"
#include "system/wide_text.h"

#include <windows.h>

namespace platform {

namespace {

std::wstring ExecutableFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

std::string ModulePath(HMODULE module)
{
    wchar_t path[32768];
    const DWORD length = GetModuleFileNameW(module, path, static_cast<DWORD>(std::size(path)));
    return length ? ToUtf8(std::wstring_view(path, length)) : std::string();
}

} // namespace

std::vector<std::string> DefaultFbClientNames()
{
    return {"fbclient.dll", "gds32.dll"};
}

void *OpenFbLibrary(const std::vector<std::string> &names, std::string &path)
{
    // The ERP's folder often carries its own client: it wins over an
    // installed one, as it does for the ERP. The altered search path lets
    // that copy find its own companions (ICU, the runtime) beside it.
    const std::wstring folder = ExecutableFolder();
    for (const std::string &name : names) {
        const std::wstring file = folder + FromUtf8(name);
        if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES)
            continue;
        if (HMODULE library = LoadLibraryExW(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)) {
            path = ModulePath(library);
            return library;
        }
    }
    for (const std::string &name : names) {
        if (HMODULE library = LoadLibraryW(FromUtf8(name).c_str())) {
            path = ModulePath(library);
            return library;
        }
    }
    return nullptr;
}

void *FbLibrarySymbol(void *library, const char *name)
{
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(library), name));
}

std::string FbLibraryMissingMessage(const std::vector<std::string> &names)
{
    std::string list;
    for (const std::string &name : names)
        list += (list.empty() ? "" : " nem ") + name;
    return "Cliente do Firebird não encontrado: " + list + " não está na pasta do programa (" +
           ToUtf8(ExecutableFolder()) +
           ") nem no caminho de busca do Windows. Copie o fbclient.dll do Firebird 3 para essa pasta"
           " ou instale o cliente do Firebird.";
}

} // namespace platform
