#include "erp/fb_library.h"

#include <dlfcn.h>
#include <climits>
#include <cstdlib>

namespace platform {

std::vector<std::string> DefaultFbClientNames()
{
    return {"libfbclient.so.2"};
}

void *OpenFbLibrary(const std::vector<std::string> &names, std::string &path, std::string &error)
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
    error = "Cliente do Firebird não encontrado: não há " + FbNamesList(names) +
            " no sistema. Instale o pacote libfbclient2 (o cliente do Firebird 3 ou mais novo).";
    return nullptr;
}

void *FbLibrarySymbol(void *library, const char *name)
{
    return dlsym(library, name);
}

} // namespace platform
