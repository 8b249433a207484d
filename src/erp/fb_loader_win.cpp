#include "base/wide_text.h"
#include "erp/fb_library.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <fstream>

namespace platform {

namespace {

const char InstallAdvice[] = "Instale o cliente de 64 bits do Firebird 3 ou mais novo";

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

std::wstring WithSeparator(std::wstring folder)
{
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/')
        folder += L'\\';
    return folder;
}

// The folder Firebird's own setup registered (its 64-bit view, the one a
// 64-bit client lives in), with a separator at the end; empty when none.
std::wstring RegisteredFirebirdFolder()
{
    wchar_t folder[MAX_PATH * 2] = {};
    DWORD bytes = sizeof(folder) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Firebird Project\\Firebird Server\\Instances",
                     L"DefaultInstance", RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr, folder, &bytes)
        != ERROR_SUCCESS)
        return {};
    return WithSeparator(folder);
}

// The machine a PE file was built for, from its header; 0 when unreadable.
unsigned MachineOf(const std::wstring &file)
{
    std::ifstream in(file.c_str(), std::ios::binary);
    char header[0x40] = {};
    if (!in.read(header, sizeof(header)) || header[0] != 'M' || header[1] != 'Z')
        return 0;
    std::uint32_t offset = 0;
    std::memcpy(&offset, header + 0x3c, sizeof(offset));
    char pe[6] = {};
    if (!in.seekg(offset) || !in.read(pe, sizeof(pe)) || pe[0] != 'P' || pe[1] != 'E' || pe[2] || pe[3])
        return 0;
    return static_cast<unsigned char>(pe[4]) | static_cast<unsigned char>(pe[5]) << 8;
}

// Why a file that is there did not load, with what to do about it.
std::string LoadFailure(const std::wstring &file, DWORD error)
{
    const std::string name = "O cliente do Firebird " + ToUtf8(file);
    if (error == ERROR_BAD_EXE_FORMAT) {
        if (MachineOf(file) == IMAGE_FILE_MACHINE_I386)
            return name + " é de 32 bits e este programa, de 64 bits, só pode usar um cliente de 64 bits. " +
                   InstallAdvice + " (o de 32 bits pode continuar onde está, para o ERP).";
        return name + " não é uma DLL de 64 bits que este programa possa usar. " + InstallAdvice + ".";
    }
    if (error == ERROR_MOD_NOT_FOUND)
        return name + " está lá, mas falta uma das DLLs de que ele precisa (por exemplo a biblioteca de"
                      " execução do Visual C++ ou os arquivos do ICU do Firebird). " + InstallAdvice +
               " com o instalador do próprio Firebird.";
    return name + " não pôde ser carregado (erro " + std::to_string(error) + " do Windows). " + InstallAdvice + ".";
}

} // namespace

std::vector<std::string> DefaultFbClientNames()
{
    return {"fbclient.dll", "gds32.dll"};
}

void *OpenFbLibrary(const std::vector<std::string> &names, std::string &path, std::string &error)
{
    // The ERP's folder often carries its own client: it wins over an
    // installed one, as it does for the ERP; then the client Firebird's own
    // setup installed. The altered search path lets such a copy find its own
    // companions (ICU, the runtime) beside it. A 32-bit ERP keeps a 32-bit
    // client in its folder, which this program cannot load: the next place
    // may still have a good one, so the first failure is only kept for the
    // message.
    const std::wstring program = ExecutableFolder();
    const std::wstring registered = RegisteredFirebirdFolder();
    std::string firstFailure;
    for (const std::wstring &folder : {program, registered, registered.empty() ? registered : registered + L"bin\\"}) {
        if (folder.empty())
            continue;
        for (const std::string &name : names) {
            const std::wstring file = folder + FromUtf8(name);
            if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES)
                continue;
            if (HMODULE library = LoadLibraryExW(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)) {
                path = ModulePath(library);
                return library;
            }
            if (firstFailure.empty())
                firstFailure = LoadFailure(file, GetLastError());
        }
    }
    for (const std::string &name : names) {
        if (HMODULE library = LoadLibraryW(FromUtf8(name).c_str())) {
            path = ModulePath(library);
            return library;
        }
        const DWORD code = GetLastError();
        // Found on the search path but unusable: SearchPathW names the file.
        wchar_t found[MAX_PATH * 2];
        if (firstFailure.empty()
            && SearchPathW(nullptr, FromUtf8(name).c_str(), nullptr, MAX_PATH * 2, found, nullptr))
            firstFailure = LoadFailure(found, code);
    }
    if (!firstFailure.empty()) {
        error = firstFailure;
        return nullptr;
    }
    error = "Cliente do Firebird não encontrado: não há " + FbNamesList(names) + " na pasta do programa (" +
            ToUtf8(program) + "), na instalação do Firebird registrada no Windows nem no caminho de busca do"
            " Windows. " + InstallAdvice + ", ou copie o fbclient.dll de 64 bits dele para a pasta do programa.";
    return nullptr;
}

void *FbLibrarySymbol(void *library, const char *name)
{
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(library), name));
}

} // namespace platform
