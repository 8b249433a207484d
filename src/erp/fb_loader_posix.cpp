#include "erp/fb_library.h"

#include <dlfcn.h>
#include <climits>
#include <cstdlib>

namespace platform {

std::vector<std::string> DefaultFbClientNames()
{
    return {"libfbclient.so.2"};
}

void *OpenFbLibrary(const std::vector<std::string> &names, std::string &path)
{
    for (const std::string &name : names) {
        if (void *library = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            path = name;
            // The file the dynamic loader picked, for messages.
            if (void *any = dlsym(library, "isc_attach_database")) {
                Dl_info info{};
                if (dladdr(any, &info) && info.dli_fname)
                    path = info.dli_fname;
            }
            return library;
        }
    }
    return nullptr;
}

void *FbLibrarySymbol(void *library, const char *name)
{
    return dlsym(library, name);
}

std::string FbLibraryMissingMessage(const std::vector<std::string> &names)
{
    std::string list;
    for (const std::string &name : names)
        list += (list.empty() ? "" : " nem ") + name;
    return "Cliente do Firebird não encontrado: " + list +
           " não está instalado (pacote libfbclient2 ou o cliente do Firebird 3).";
}

} // namespace platform
