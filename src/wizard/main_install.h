#pragma once
#include <string>
// What the install flow's screens keep between frames, for a test that starts a new
// program run.

// Pick Destination forgets its folder, name and desktop and what the flow last left in
// the engine, as at program start.
void dvd_pick_install_forget();

// The "Change Destination" button of the destination screens: on a click, the folder
// dialog with this (translated) prompt, starting in `parent`; a chosen folder replaces
// `parent`, ending in "/". True when it did.
bool UTIL_change_destination(std::string& parent, const std::string& prompt);
