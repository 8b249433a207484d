#pragma once
// The sound library's own error printing, silenced: on a machine without a
// sound card it prints several lines per alert, and the alert falls back to
// a beep anyway. Free of Qt, like every platform layer.
void QuietSoundLibrary();
