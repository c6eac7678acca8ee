#pragma once
// The installer's preferences window: the platform to download for, the action log,
// the download streams and the proxy, edited in place in stg and http. Nothing in the
// installer opens it.

// Runs the window until the user closes it, then writes the preferences file.
void handle_prefs();
// One frame of the window's widgets (without the frame loop's pass).
void prefs_draw();
