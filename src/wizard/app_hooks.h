#pragma once
// The application's hooks that the frame loop calls.

// Draws the current wizard screen; sets app_done when no screen is current.
void APP_update();
// A chosen in-window menu item; the installer has no menus, so it does nothing.
void APP_handlemenu(int code);
// The framework's function-key hook; nothing calls it in this program.
void function_key(int key);
// Offers every frame to the movie recorder, which swaps the frames it records itself;
// idle (as it stays unless switched on) it leaves the swap to the frame loop.
void install_frame_recorder();
