#pragma once
// The wizard's own globals and the per-frame screen record. Globals the engine and the
// framework share (sim_info, dest_dir_path, temp_path, install_name, current_disk,
// want_file_disk, stg, app_done, dvd_path) stay where they are defined; these are the
// rest, with their start values. Nothing here draws.
#include <string>
#include <vector>

#include "engine/engine_globals.h"
#include "runtime/hl_globals.h"

struct wizard_screen;

// A screen: called once per frame with `first` 1 on the first frame after the current
// screen changed; a non-zero result moves on to s.next_screen at the end of the frame.
using screen_fn = int (*)(int first, wizard_screen& s);

// What one screen shows in one frame. The engine builds it empty before every call.
struct wizard_screen {
	std::string title;
	std::string text;
	screen_fn back_screen = nullptr;  // Go Back's target; null disables the button
	screen_fn next_screen = nullptr;  // Continue's target; null disables it
	float progress = -1.0f;           // 0..1 for the progress bar; negative: no bar
	std::string progress_text;
	int show_servers = 0;
	std::vector<std::string> choice_labels;
	std::vector<screen_fn> choice_targets;  // as long as choice_labels
	void (*on_cancel)() = nullptr;          // Quit on this screen calls it first
};

// The current screen; written only by the wizard engine.
extern screen_fn g_wizard;
// The "-path" argument (a folder, ending in "/"); the web updater works on it only when
// it is an absolute path to an installed copy.
extern std::string cmd_line_path;
// Descriptions of the download servers (web families).
extern std::string server_desc[10];
// The registered installed copies: absolute, ending in "/", holding a copy.
extern std::vector<std::string> all_orvalas;
// The step list: labels and the screens they stand for, same length.
extern std::vector<std::string> step_names;
extern std::vector<screen_fn> step_funcs;
// Errors counted in the current run.
extern int num_install_errors;
// A run of that flow has started and not finished.
extern int dvd_install_is_running;
extern int repair_is_running;
extern int scenery_install_is_running;
// The licence box of the install flow.
extern int accept_eula;

// The terminal screen: ends the program. Screens offer it as Continue to say Quit.
int wizard_quit(int first, wizard_screen& s);
