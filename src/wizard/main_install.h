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

// What the destination screens say of a new copy's folder, translated: the prompt for
// a name; why a name that is not one folder name is refused; the pieces around the name
// and the parent when the folder exists, and when it will be made; the pieces around
// the name when the parent is the desktop.
struct new_folder_words {
	std::string no_name;
	std::string not_one_name;
	std::string exists[3];
	std::string create[3];
	std::string desktop[2];
	// Why a folder whose path the registration file cannot hold is refused (see
	// UTIL_registration_can_hold); empty on a screen whose copy is not registered.
	std::string unlisted;
};
enum new_folder_state { new_folder_unnamed, new_folder_refused, new_folder_taken, new_folder_free };
// True when `name` is one folder name: not empty, neither "." nor "..", and without
// '/' or NUL. Blanks and every other character are the user's to choose.
bool UTIL_is_one_folder_name(const std::string& name);
// Sets dest_dir_path to `parent` + `name` + "/" (to `parent` alone while the name is
// empty or not one folder name, or the path one the registration file cannot hold) and
// `text` to what the screen says of it; the answer tells whether the folder can be made
// (only new_folder_free allows Continue).
new_folder_state UTIL_new_folder(const std::string& parent, const std::string& name, const std::string& desktop,
                                 const new_folder_words& words, std::string& text);

// Where a destination screen proposes to make a new copy, kept for the whole program
// run: the desktop folder, the folder the copy is made in (empty until the screen is
// first shown) and the name of the copy's folder.
struct new_copy_place {
	std::string desktop_f, parent_dir, install_folder;
};

// What a destination screen says of its own, translated: the folder dialog's prompt,
// what follows the product's name in the first proposed name, and what follows the
// name in the sentence saying the folder will appear on the desktop; and whether its
// copy is registered.
struct destination_words {
	std::string folder_prompt, name_suffix, desktop_end;
	bool registered = false;  // the new copy goes into the registration file
};

// What one frame of a destination screen found.
struct destination_frame {
	new_folder_state state;
	bool changed;  // the folder or the name was set in this frame: proposed, chosen or typed
};

// One frame of what the destination screens share: on the first frame the desktop
// folder is looked up; on the first showing of the run the default folder for new
// copies and the product's name are proposed; then the title, "Change Destination"
// with its folder dialog, the "Install Name:" field, and from the name checks
// dest_dir_path and the screen's text. Go Back, Continue and the sizes stay the
// screen's own.
destination_frame UTIL_pick_destination(int first, wizard_screen& s, new_copy_place& place,
                                        const destination_words& own);

// The frame every done screen shows: its title, Go Back to the main menu and Continue as
// Quit; after a run without errors `success_text` and the "Run Kestrix Now" choice,
// otherwise `errors_text` alone. Returns 0.
int UTIL_done_screen(wizard_screen& s, const std::string& title, const std::string& errors_text,
                     const std::string& success_text);
