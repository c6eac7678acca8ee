#pragma once
#include <string>

#include "wizard/main_globals.h"
// What the install flow's screens keep between frames, for a test that starts a new
// program run.

// Pick Destination forgets its folder, name and desktop and what the flow last left in
// the engine, as at program start.
void dvd_pick_install_forget();

// The destination screens' places: the "Change Destination" button (as wide as its
// label) and the field of the new copy's name, with its label to the left.
constexpr float dest_change_x = 300, dest_change_y = 203, dest_change_auto_width = -1;
constexpr float dest_name_x = 420, dest_name_y = 200, dest_name_width = 340;

// The "Change Destination" button of the destination screens: on a click, the folder
// dialog with this (translated) prompt, starting in `parent`; a chosen folder replaces
// `parent`, ending in "/". True when it did.
bool UTIL_change_destination(std::string& parent, const std::string& prompt);

// What the destination screens say of a new copy's folder, translated by the screen:
// the prompt for a name; the pieces around the name and the parent when the folder
// exists, and when it will be made; the pieces around the name when the parent is the
// desktop.
struct new_folder_words {
	std::string no_name;
	std::string exists[3];
	std::string create[3];
	std::string desktop[2];
};
enum new_folder_state { new_folder_unnamed, new_folder_taken, new_folder_free };
// Sets dest_dir_path to `parent` + `name` + "/" (to `parent` alone while the name is
// empty) and `text` to what the screen says of it; the answer tells whether the folder
// can be made (only new_folder_free allows Continue).
new_folder_state UTIL_new_folder(const std::string& parent, const std::string& name, const std::string& desktop,
                                 const new_folder_words& words, std::string& text);

// The frame every done screen shows: its title, Go Back to the main menu and Continue as
// Quit; after a run without errors `success_text` and the "Run Kestrix Now" choice,
// otherwise `errors_text` alone. Returns 0.
int UTIL_done_screen(wizard_screen& s, const std::string& title, const std::string& errors_text,
                     const std::string& success_text);
