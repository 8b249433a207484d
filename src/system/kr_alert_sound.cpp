#include "system/kr_alert_sound.h"

#include "system/alert_sound.h"
#include "system/app_env.h"

void PlayAlertSound(unsigned char kind)
{
    platform::PlayAlertSoundFrom(kind, std::filesystem::path(ExecutableFolder().toStdU16String()));
}
