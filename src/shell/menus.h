#pragma once
// The in-window menus as start-up and the frame loop call them.

// Mode 1 resets the table to its empty slots; any other mode does nothing.
void DIDIVI_clear_menus(int mode);
// Draws the open in-window menu or pop-up list, if any.
void standard_gui();
