#include "app/console_noise.h"

// Windows' sound calls print nothing.
void QuietSoundLibrary() {}
