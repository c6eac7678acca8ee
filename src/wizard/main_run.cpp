// The run screens: one family, each member a row of the table below. A run starts the
// first time its screen is shown while its flag is 0, lives across the DVD-change
// screens, and ends when the engine reports it done or the user stops it.
#include "wizard/main_run.h"

#include "engine/engine.h"
#include "engine/new_copy_folder.h"
#include "runtime/hl_errors.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_string.h"
#include "runtime/translate.h"
#include "runtime/xtim.h"
#include "wizard/main_copies.h"

namespace {
// install_files' answers.
enum run_status { run_busy = 0, run_done = 1, run_other_dvd = 2, run_file_failed = 3 };
constexpr int kSecondButton = 0;  // "Continue" in the failed-file question
constexpr double kMicrosPerSecond = 1e6;
constexpr char kStartLog[] = "Starting install at ";

struct run_flow {
	const char* title;
	const char* text;           // before the copy's folder
	const char* file_prefix;    // before the path of the file at work
	const char* finishing;      // once every file has been handed out
	screen_fn select;           // Go Back while busy; where a cancelled choice goes
	screen_fn dirs_failed;      // where a folder that cannot be made goes
	bool new_copy;              // makes the new copy's folder itself, and records the copy
	screen_fn verify;           // finds the DVD of the next file
	screen_fn done;
	const char* error_headline;
	const char* error_advice;
	const char* first_button;
	const char* action;         // the text beside both buttons
	bool stop_on_first;         // the first button stops the run here (else back to select)
	int* running;               // the flow's run flag
	int* cursor;                // the next file the engine works on
};

// The new copy of the install under way could not be written into the registration
// file: said once the run has ended and the copy stays.
bool g_copy_unregistered = false;

int g_install_cursor = 0;
int g_repair_cursor = 0;
int g_scenery_cursor = 0;

const run_flow kRunFamily[] = {
    {"Installing Kestrix", "I am installing Kestrix in ", "Installing: ", "Finishing up...", dvd_scenery_install,
     dvd_pick_install, true, dvd_verify_disk_install, dvd_done_install, "An error occurred during installation:",
     "You can continue with the installation and attempt to repair the damaged files later, or you can cancel the "
     "installation.",
     "Cancel", "the install.", false, &dvd_install_is_running, &g_install_cursor},
    {"Repairing Kestrix", "I am repairing ", "Repairing: ", "Finishing up...", dvd_confirm_repair,
     dvd_confirm_repair, false, dvd_verify_disk_repair, dvd_done_repair, "An error occurred during the repair:",
     "Kestrix may not be usable until you are able to repair the sim without errors.", "Stop", "the repair.", true,
     &repair_is_running, &g_repair_cursor},
    {"Installing New Scenery", "I am installing new scenery for ", "Installing: ", "Finishing Up...",
     dvd_edit_scenery, dvd_edit_scenery, false, dvd_verify_disk_scenery, dvd_done_scenery,
     "An error occurred during scenery installation:",
     "You can continue with the installation and attempt to reinstall the damaged files later, or you can stop the "
     "installation",
     "Stop", "the scenery install.", true, &scenery_install_is_running, &g_scenery_cursor},
};
enum run_member { run_install, run_repair, run_scenery };
constexpr char kContinue[] = "Continue";

// Decides, makes the folders, registers and deletes; false when the run cannot start
// (s.next_screen then says where to go).
bool start_run(const run_flow& f, wizard_screen& s)
{
	*f.cursor = 0;
	xer << kStartLog << double(xtim.microsecs()) / kMicrosPerSecond << "\n";
	// A new copy's folder is made first, once: one that appeared since the destination
	// was picked is somebody's. Nothing in it is asked about or installed into (make_dirs
	// accepts a folder that is there); Pick Destination then says it exists. A run into
	// an existing copy starts only while the copy is the folder its scan looked at:
	// make_dirs would rebuild a copy that moved away at its old path.
	if (f.new_copy ? ENG_make_new_copy_folder() != 0 : !ENG_scanned_copy_is_there()) {
		s.next_screen = f.dirs_failed;
		return false;
	}
	if (!choose_files()) {
		// What this run made for the copy goes again; the destination stays free.
		if (f.new_copy) UTIL_take_back_new_copy();
		s.next_screen = f.select;
		return false;
	}
	if (make_dirs() != 0) {
		if (f.new_copy) UTIL_take_back_new_copy();
		s.next_screen = f.dirs_failed;
		return false;
	}
	if (f.new_copy) g_copy_unregistered = !register_new_kestrix();
	// A file that could not be removed is a failed file of the run: the done screen
	// reports errors even when nothing is left to install.
	const int failed_removals = delete_files();
	*f.running = 1;
	num_install_errors = failed_removals;
	return true;
}

int run_screen(const run_flow& f, wizard_screen& s)
{
	if (!*f.running && !start_run(f, s)) return 1;
	s.title = UTL_translate_string(f.title);
	s.on_cancel = install_files_kill;
	int& file = *f.cursor;
	switch (install_files(file, current_disk)) {
	case run_busy:
		s.back_screen = f.select;
		s.next_screen = nullptr;
		s.text = UTL_translate_string(f.text) + STR_utf8_to_font(dest_dir_path) + ".";
		s.progress = UTIL_run_progress(file);
		if (file >= int(sim_info.size()))
			s.progress_text = UTL_translate_string(f.finishing);
		else if (file >= 0)
			s.progress_text = UTL_translate_string(f.file_prefix) + STR_utf8_to_font(sim_info[file].back().path);
		return 0;
	case run_done:
		s.back_screen = nullptr;
		s.next_screen = f.done;
		*f.running = 0;
		if (f.new_copy) {
			ENG_forget_new_copy();
			if (g_copy_unregistered) UTIL_tell_unregistered(dest_dir_path);
			g_copy_unregistered = false;
		}
		return 1;
	case run_other_dvd:
		want_file_disk = file;
		s.next_screen = f.verify;
		return 1;
	case run_file_failed: {
		++num_install_errors;
		const std::string action = UTL_translate_string(f.action);
		const int r = UTIL_cancel_install(UTL_translate_string(f.error_headline), UTL_translate_string(f.error_advice),
		                                  UTL_translate_string(f.first_button), action,
		                                  UTL_translate_string(kContinue), action);
		if (r == kSecondButton) return 0;
		// The first button, or a question that could not be shown.
		if (f.stop_on_first) {
			install_files_kill();
			*f.running = 0;
			s.next_screen = f.done;
		} else {
			s.next_screen = f.select;
		}
		return 1;
	}
	default:
		return 0;
	}
}
}  // namespace

float UTIL_run_progress(int file)
{
	if (file < 0) return 0.0f;
	if (file >= int(sim_info.size())) return 1.0f;
	return sim_info[file].back().progress_at;
}

int UTIL_cancel_install(std::string headline, std::string advice, std::string label1, std::string text1,
                        std::string label2, std::string text2)
{
	std::string message, link;
	const int code = install_files_get_error(message, link);
	// The engine's message names the files and folders involved; a link on the way is
	// named by itself, since its error code alone tells the user nothing.
	const std::string detail =
	    link.empty() ? STR_utf8_to_font(message) + " (" + error_str(code) + ")" : ENG_link_on_the_way(link);
	const std::string question = headline + "\n\n" + detail + "\n\n" + advice;
	return abort_alert(question, std::move(label1), std::move(text1), std::move(label2), std::move(text2));
}

int dvd_run_install(int, wizard_screen& s) { return run_screen(kRunFamily[run_install], s); }
int dvd_install_repair(int, wizard_screen& s) { return run_screen(kRunFamily[run_repair], s); }
int dvd_install_scenery(int, wizard_screen& s) { return run_screen(kRunFamily[run_scenery], s); }
