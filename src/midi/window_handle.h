#pragma once
// The window that owns the stream. The transport hands it back to whoever
// registered its calls and never looks inside.
using WindowHandle = void*;
