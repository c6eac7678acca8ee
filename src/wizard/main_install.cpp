// The install flow's screens and the screens that start an installed copy.
#include <algorithm>
#include <cstring>

#include "engine/engine.h"
#include "engine/engine_globals.h"
#include "graphics/ogl_draw.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_errors.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_string.h"
#include "runtime/io_utils.h"
#include "runtime/hl_dialogs.h"
#include "runtime/translate.h"
#include "widgets/btn.h"
#include "wizard/main_copies.h"
#include "wizard/main_install.h"
#include "wizard/main_licence.h"
#include "wizard/main_map.h"
#include "wizard/main_screens.h"

namespace {
constexpr char kDoneTitle[] = "Finished Installing Kestrix";
constexpr char kDoneWithErrors[] =
    "There were errors during the install; your copy of Kestrix may not be usable.\n\nYou can click Go Back and use "
    "the repair and add-remove scenery functions to try to reinstall any missing or damaged files.";
constexpr char kDoneWell[] = "Installation was successful.";
constexpr char kRunNow[] = "Run Kestrix Now";
// The simulator's bundle inside an installed copy.
constexpr char kAppName[] = "Kestrix";
constexpr char kAppSuffix[] = ".app";

// Pick Destination. The sentences of both destination screens; each screen gives the
// texts it has of its own.
constexpr char kPickTitle[] = "Pick Install Destination.";
constexpr char kChangeDestination[] = "Change Destination";
constexpr char kSelect[] = "Select";
constexpr char kNameLabel[] = "Install Name:";
constexpr char kNamePrompt[] = "Please pick a name for your Kestrix 9 installation...";
constexpr char kNotOneName[] = "The install name must be a single folder name, without '/', and not '.' or '..'.";
// The registration file holds one path a line: a copy at a path it cannot hold would
// install well and be forgotten. The longest line goes between the two pieces.
const char* const kUnlisted[] = {"The installer cannot remember a copy at this path: it holds a line break or is "
                                 "longer than ",
                                 " bytes. Please pick another destination or install name."};
const char* const kExists[] = {"The folder '", "' already exists in the dir '",
                               "'.\n\nPlease change the install name or destination."};
// The closing piece is translated too: a language may end the sentence with a word of
// its own after the parent folder.
const char* const kWillCreate[] = {"I will create the folder '", "' in the directory '", "'."};
constexpr char kOnDesktop[] = "\n\n(The folder ";
constexpr char kFolderPrompt[] = "Pick a folder to install Kestrix 9 into.";
constexpr char kOnDesktopEnd[] = " will appear on your desktop.)";
constexpr char kPickEnough[] = "You have enough free disk space to install Kestrix 9 at this location.";
constexpr char kPickShort[] =
    "You do not have enough free disk space to install Kestrix 9 at this location.  You can install to a different "
    "location, or save disk space by installing only some of the global scenery.";
constexpr int kNameMax = 256;
constexpr int kFolderDialog = 2;
constexpr int kDialogSettings = 1;
constexpr int kButtonFeedback = 1;
constexpr int kNoFocusTaken = 0;
constexpr char kNoSideText[] = "-";

// Select Scenery.
constexpr char kCancelQuestion[] =
    "Are you sure you want to cancel the installation?  This will delete the partially installed copy of Kestrix 9.";
constexpr char kCancel[] = "Cancel";
constexpr char kCancelText[] = "the installation and delete partial installation.";
constexpr char kContinue[] = "Continue";
constexpr char kContinueText[] = "the installation process.";
constexpr int kAnswerCancel = 1;
constexpr char kSceneryTitle[] = "Select Scenery";
constexpr char kSceneryText[] =
    "Please pick the scenery you would like to install now.  You can use this installer to add more scenery or "
    "remove scenery later.  If you fly into an area with no scenery installed, you will see only ocean.\n\nClick on "
    "the world map to pick select regions to install.";
constexpr char kSceneryEnough[] = "You have enough free disk space to install Kestrix 9 with the selected scenery.";
constexpr char kSceneryShort[] =
    "You do not have enough free disk space to install Kestrix 9 with the selected scenery; change the install "
    "location to another hard driver or select less scenery.";

// Run Kestrix.
constexpr char kRunTitle[] = "Run Kestrix";
constexpr char kWhichCopy[] = "Please pick which copy of Kestrix 9 you would like to run.";

// What Pick Destination keeps for the whole run, and what the install flow last left
// in the engine: its destination and tile selection. Another flow that scanned another
// copy or set the tiles since makes the flow redo its pass.
struct pick_memory {
	new_copy_place place;
	bool pass_pending = false;
	bool left_anything = false;
	std::string left_dest;
	int left_tiles[stg_tile_count] = {};
};
pick_memory g_pick;

void remember_what_the_flow_left()
{
	g_pick.left_anything = true;
	g_pick.left_dest = dest_dir_path;
	std::copy(std::begin(stg.scenery_selected), std::end(stg.scenery_selected), g_pick.left_tiles);
}

bool another_flow_came_between()
{
	return !g_pick.left_anything || g_pick.left_dest != dest_dir_path ||
	       !std::equal(std::begin(stg.scenery_selected), std::end(stg.scenery_selected), g_pick.left_tiles);
}

// The engine's checksum pass over dest_dir_path, to its end within this frame.
void scan_to_the_end()
{
	int cursor = 0;
	float progress = 0.0f;
	while (!checksum_directory(cursor, progress)) {
	}
}
}  // namespace

void dvd_pick_install_forget() { g_pick = pick_memory{}; }

bool UTIL_change_destination(std::string& parent, const std::string& prompt)
{
	if (!BTN_action(dest_change_x, dest_change_y, dest_change_auto_width, 0, kButtonFeedback,
	                UTL_translate_string(kChangeDestination), kNoSideText))
		return false;
	char chosen[kDialogBuffer] = {};
	parent.copy(chosen, kDialogBuffer - 1);
	if (!GetFilePathFromUser(kFolderDialog, prompt, UTL_translate_string(kSelect), kDialogSettings, parent.c_str(),
	                         chosen))
		return false;
	parent = chosen;
	if (parent != "/") parent += "/";
	return true;
}

bool UTIL_is_one_folder_name(const std::string& name)
{
	return !name.empty() && name != "." && name != ".." && name.find_first_of(std::string("/\0", 2)) == std::string::npos;
}

new_folder_state UTIL_new_folder(const std::string& parent, const std::string& name, const std::string& desktop,
                                 const new_folder_words& words, std::string& text)
{
	if (name.empty()) {
		dest_dir_path = parent;
		text = words.no_name;
		return new_folder_unnamed;
	}
	// Nothing is ever joined from a name that is a path: the run would install, and a
	// cancel remove, wherever it leads.
	if (!UTIL_is_one_folder_name(name)) {
		dest_dir_path = parent;
		text = words.not_one_name;
		return new_folder_refused;
	}
	if (!words.unlisted.empty() && !UTIL_registration_can_hold(parent + name + "/")) {
		dest_dir_path = parent;
		text = words.unlisted;
		return new_folder_refused;
	}
	dest_dir_path = parent + name + "/";
	const std::string shown_name = STR_utf8_to_font(name), shown_parent = STR_utf8_to_font(parent);
	if (dir_exists(dest_dir_path)) {
		text = words.exists[0] + shown_name + words.exists[1] + shown_parent + words.exists[2];
		return new_folder_taken;
	}
	text = words.create[0] + shown_name + words.create[1] + shown_parent + words.create[2];
	if (parent == desktop) text += words.desktop[0] + shown_name + words.desktop[1];
	return new_folder_free;
}

destination_frame UTIL_pick_destination(int first, wizard_screen& s, new_copy_place& place,
                                        const destination_words& own)
{
	bool changed = false;
	if (first) get_OS_abs_path(os_dir_desktop, place.desktop_f);
	if (place.parent_dir.empty()) {
		get_OS_abs_path(os_dir_default_apps, place.parent_dir);
		place.install_folder = install_name + own.name_suffix;
		changed = true;
	}
	s.title = UTL_translate_string(kPickTitle);
	if (UTIL_change_destination(place.parent_dir, own.folder_prompt)) changed = true;
	if (BTN_enterstring(dest_name_x, dest_name_y, &place.install_folder, kNameMax, UTL_translate_string(kNameLabel),
	                    dest_name_width, kNoFocusTaken))
		changed = true;

	const new_folder_words words{
	    UTL_translate_string(kNamePrompt),
	    UTL_translate_string(kNotOneName),
	    {UTL_translate_string(kExists[0]), UTL_translate_string(kExists[1]), UTL_translate_string(kExists[2])},
	    {UTL_translate_string(kWillCreate[0]), UTL_translate_string(kWillCreate[1]),
	     UTL_translate_string(kWillCreate[2])},
	    {UTL_translate_string(kOnDesktop), own.desktop_end},
	    own.registered ? UTL_translate_string(kUnlisted[0]) + std::to_string(kRegistrationLineMax) +
	                         UTL_translate_string(kUnlisted[1])
	                   : std::string()};
	return {UTIL_new_folder(place.parent_dir, place.install_folder, place.desktop_f, words, s.text), changed};
}

int dvd_pick_install(int first, wizard_screen& s)
{
	if (first) {
		accept_eula = 0;
		dvd_set_install_steps();
		// Repair and the scenery flow leave their own filter, tiles and scan behind: a
		// new copy always takes the simulator and the scenery.
		set_install_filter(1, 1);
		if (another_flow_came_between()) g_pick.pass_pending = true;
		recalc_disk_sizes();
	}
	s.back_screen = dvd_start;
	s.next_screen = dvd_eula_install;
	const destination_frame f = UTIL_pick_destination(
	    first, s, g_pick.place, {UTL_translate_string(kFolderPrompt), "", UTL_translate_string(kOnDesktopEnd), true});
	if (f.changed) g_pick.pass_pending = true;
	if (f.state != new_folder_free) {
		s.next_screen = nullptr;
		remember_what_the_flow_left();
		return 0;
	}
	// The pass waits while the name is empty or taken, and runs once the destination is
	// a new folder again.
	if (g_pick.pass_pending) {
		scan_to_the_end();
		set_install_filter(1, 1);
		scenery_take_all();
		recalc_disk_sizes();
		g_pick.pass_pending = false;
	}
	// A short disk is said, and Continue stays: the scenery screen, where less can be
	// chosen, is the one that stops.
	UTIL_disk_space(UTL_translate_string(kPickEnough), UTL_translate_string(kPickShort));
	remember_what_the_flow_left();
	return 0;
}

int dvd_eula_install(int, wizard_screen& s)
{
	s.back_screen = dvd_pick_install;
	// Decided before the box is drawn: a tick enables Continue from the next frame.
	s.next_screen = accept_eula ? dvd_scenery_install : nullptr;
	UTIL_licence_panel(s, &accept_eula);
	return 0;
}

int dvd_scenery_install(int first, wizard_screen& s)
{
	if (first) {
		if (dvd_install_is_running) {
			const int r = abort_alert(UTL_translate_string(kCancelQuestion), UTL_translate_string(kCancel),
			                          UTL_translate_string(kCancelText), UTL_translate_string(kContinue),
			                          UTL_translate_string(kContinueText));
			// Only the explicit Cancel deletes the copy; Continue, and a box closed any
			// other way or not shown, go back to the running install.
			if (r != kAnswerCancel) {
				s.next_screen = dvd_run_install;
				return 1;
			}
			install_files_kill();
			UTIL_take_back_new_copy();
			dvd_install_is_running = 0;
		}
		scan_to_the_end();
		recalc_disk_sizes();
	}
	UTIL_world_map();
	remember_what_the_flow_left();
	s.text = UTL_translate_string(kSceneryText);
	s.title = UTL_translate_string(kSceneryTitle);
	s.back_screen = dvd_eula_install;
	s.next_screen = dvd_run_install;
	if (!UTIL_disk_space(UTL_translate_string(kSceneryEnough), UTL_translate_string(kSceneryShort)))
		s.next_screen = nullptr;
	return 0;
}

int dvd_pick_run_sim(int first, wizard_screen& s)
{
	// A destination another screen left (Pick Destination's new folder) is no copy.
	if (first && !UTIL_is_registered(dest_dir_path)) dest_dir_path.clear();
	s.title = UTL_translate_string(kRunTitle);
	s.back_screen = dvd_start;
	s.next_screen = dvd_do_run_sim;
	if (all_orvalas.size() == 1) {
		dest_dir_path = all_orvalas[0];
		return 1;
	}
	UTIL_pick_install();
	if (dest_dir_path.empty()) s.next_screen = nullptr;
	s.text = UTIL_pick_text(UTL_translate_string(kWhichCopy));
	return 0;
}

int UTIL_done_screen(wizard_screen& s, const std::string& title, const std::string& errors_text,
                     const std::string& success_text)
{
	s.title = title;
	s.back_screen = dvd_start;
	s.next_screen = wizard_quit;
	if (num_install_errors > 0) {
		s.text = errors_text;
		return 0;
	}
	s.text = success_text;
	s.choice_labels.push_back(UTL_translate_string(kRunNow));
	s.choice_targets.push_back(dvd_do_run_sim);
	return 0;
}

int dvd_done_install(int, wizard_screen& s)
{
	return UTIL_done_screen(s, UTL_translate_string(kDoneTitle), UTL_translate_string(kDoneWithErrors),
	                        UTL_translate_string(kDoneWell));
}

// Starts the copy at dest_dir_path; this process then finishes up and ends. A copy
// whose program cannot be started is said once, and the main menu comes back (trying
// again every frame would fork behind an empty screen).
int dvd_do_run_sim(int, wizard_screen& s)
{
	const std::string app = dest_dir_path + kAppName + kAppSuffix;
	const int e = launch_app(app, "");
	__DIDIVI_alert(0, STR_utf8_to_font(app), error_str(e), "", "", t_alert, __FILE__, __LINE__);
	s.next_screen = dvd_start;
	return 1;
}
