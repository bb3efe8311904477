#pragma once
// The player's only way to wait. On Windows it is Sleep; elsewhere the stream
// engine's clock decides: a real sleep, or, on the virtual clock, time moving
// on by that much with every event that falls due played on this thread.
void sleep_ms(int milliseconds);
