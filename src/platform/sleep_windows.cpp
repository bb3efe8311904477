// On Windows the player waits with the platform's own clock, but lets
// messages sent from other threads through while it waits. The UI thread
// waits for the worker (a load) and for the stream callback (a song change);
// those threads may meanwhile show a warning box owned by the main window,
// whose creation sends messages to the UI thread and blocks until they are
// handled. A plain Sleep there would hold both threads for ever.
#include <windows.h>

#include "platform/clock.h"

void sleep_ms(int milliseconds) {
    const DWORD wait = milliseconds < 0 ? 0 : static_cast<DWORD>(milliseconds);
    const DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= wait) return;
        DWORD woke = MsgWaitForMultipleObjectsEx(0, nullptr, wait - elapsed, QS_SENDMESSAGE, 0);
        if (woke != WAIT_OBJECT_0) return;  // the time is up
        // Peeking dispatches the messages sent to this thread; posted ones
        // stay queued for the dialog's own loop.
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}
