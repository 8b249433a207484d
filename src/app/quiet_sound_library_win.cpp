#include "app/quiet_sound_library.h"

// Windows' sound calls print nothing.
void QuietSoundLibrary() {}
