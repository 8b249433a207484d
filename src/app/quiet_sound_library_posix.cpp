#include "app/quiet_sound_library.h"

#include <dlfcn.h>

namespace {

// ALSA's error handler type; the library prints each error on standard error
// unless one is set.
using AlsaErrorHandler = void (*)(const char *file, int line, const char *function, int err, const char *fmt, ...);
using SetAlsaErrorHandler = int (*)(AlsaErrorHandler);

void DropAlsaError(const char *, int, const char *, int, const char *, ...) {}

} // namespace

void QuietSoundLibrary()
{
    // Loaded here only to set the handler; the sound library would load the
    // same copy later. Without ALSA there is nothing to quiet. The handle is
    // kept for the life of the process, so the handler stays valid.
    void *alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_GLOBAL);
    if (!alsa)
        return;
    if (auto set = reinterpret_cast<SetAlsaErrorHandler>(dlsym(alsa, "snd_lib_error_set_handler")))
        set(DropAlsaError);
}
