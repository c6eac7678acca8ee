#pragma once
// The licence the install flow shows above its accept box: the project's own, short
// enough for the panel.
#include <string>

struct wizard_screen;

// The licence in the chosen language.
std::string UTIL_licence_text();

// The licence screen's panel: its title and the licence as the screen's text, and the
// accept line with its check box over `accepted`. The caller decides Continue, before
// the box (a tick counts from the next frame) or after it (from this frame).
void UTIL_licence_panel(wizard_screen& s, int* accepted);

// Where the accept line stands, with its check box to its left.
constexpr float licence_accept_x = 250, licence_accept_y = 100, licence_accept_wrap = 560, licence_box_x = 230;
