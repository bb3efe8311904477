// On Windows the player waits as the platform does.
#include <windows.h>

#include "platform/clock.h"

void sleep_ms(int milliseconds) { Sleep(milliseconds < 0 ? 0 : static_cast<DWORD>(milliseconds)); }
