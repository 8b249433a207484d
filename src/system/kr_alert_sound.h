#pragma once
// Alert sound of a message kind (0 information, 1 question, 2 warning,
// 3 error, 4 warning question). Starts playing and returns at once; never fails.
void PlayAlertSound(unsigned char kind);
