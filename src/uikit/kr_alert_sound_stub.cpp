#include "uikit/kr_alert_sound.h"

// Placeholder until the platform sound layer lands.
void PlayAlertSound(unsigned char) {}
