// The repair flow and the add-or-remove-scenery flow. Both walk the same road - pick the
// copy, scan it, confirm or edit, run, finish - so the screens they share are written
// once over the table of the two members below; the confirm, edit and done screens
// that differ are written out.
#include "wizard/main_repair.h"

#include <algorithm>
#include <initializer_list>
#include <iterator>
#include <string>

#include "engine/engine.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_string.h"
#include "runtime/translate.h"
#include "wizard/main_copies.h"
#include "wizard/main_install.h"
#include "wizard/main_map.h"

namespace {
constexpr char kNumberMark[] = "%d";
constexpr char kGone[] = "GONE";
constexpr int kStopAnswerContinue = 0;  // abort_alert's second button
constexpr char kStop[] = "Stop";
constexpr char kContinue[] = "Continue";
constexpr char kScanning[] = "I am scanning ";
constexpr char kScanProgress[] = "Scanning %d of %d files.";

// One entry of a flow's step list.
struct flow_step {
	const char* label;
	screen_fn screen;
};
constexpr int kStepCount = 6;
const flow_step kRepairSteps[kStepCount] = {
    {"Welcome", dvd_start},
    {"Select Kestrix", dvd_pick_repair},
    {"Scan For Problems", dvd_scan_repair},
    {"Confirm Repairs", dvd_confirm_repair},
    {"Repair Kestrix", dvd_install_repair},
    {"Finish", dvd_done_repair},
};
const flow_step kScenerySteps[kStepCount] = {
    {"Welcome", dvd_start},
    {"Select Kestrix", dvd_pick_scenery},
    {"Scan Existing Scenery", dvd_scan_scenery},
    {"Select New Scenery", dvd_edit_scenery},
    {"Install Scenery", dvd_install_scenery},
    {"Finish", dvd_done_scenery},
};

int g_repair_scan_cursor = 0;
int g_scenery_scan_cursor = 0;

// One member of the twin flows.
struct repair_flow {
	const flow_step (*steps)[kStepCount];
	const char* pick_title;
	const char* pick_question;
	screen_fn pick;
	screen_fn scan;
	int want_sim;     // the scan's filter: simulator files
	int want_global;  // and global-scenery files
	const char* scan_title;
	const char* scan_text;  // after the copy's folder
	int* scan_cursor;       // files handed to the checksum pass so far
	screen_fn edit;
	int* running;  // the flow's run flag
	screen_fn run;
	const char* stop_question;
	const char* action;  // beside both buttons of the stop question
};
const repair_flow kFlows[] = {
    {&kRepairSteps, "Repair Kestrix 9", "Please pick which copy of Kestrix 9 you would like to repair.",
     dvd_pick_repair, dvd_scan_repair, 1, 0, "Scanning Kestrix for Problems",
     " for missing or damaged files.\n\nNote: if you have updated this copy of Kestrix from the Internet, the repair "
     "operation will remove the updates.  Once the repair has finished, you should reapply the updates from the web.",
     &g_repair_scan_cursor, dvd_confirm_repair, &repair_is_running, dvd_install_repair,
     "Are you sure you want to stop the repair operation?  Kestrix may not be usable until repairs are complete.  "
     "You can run the repair operation on Kestrix again later to complete repairs.",
     "the repair operation."},
    {&kScenerySteps, "Select Kestrix 9 to Add or Remove Scenery",
     "Please pick which copy of Kestrix 9 you would like to add scenery to.", dvd_pick_scenery, dvd_scan_scenery, 0,
     1, "Scanning Kestrix 9 for Installed Scenery",
     " to see what scenery you already have installed.\n\nNote: I am only checking for the scenery already installed "
     "from your DVDs.  This scan will not show any custom scenery downloaded from the internet.",
     &g_scenery_scan_cursor, dvd_edit_scenery, &scenery_install_is_running, dvd_install_scenery,
     "Are you sure you want to stop scenery installation?  You can add or remove more scenery later.",
     "the scenery install."},
};
enum flow_member { flow_repair, flow_scenery };

// The confirm screen.
constexpr char kConfirmTitle[] = "Confirm Repairs";
constexpr char kConfirmText[] = "I need to install approximately %d files to repair ";
constexpr char kRepairEnough[] = "You have enough free disk space to repair this copy of Kestrix.";
constexpr char kRepairShort[] = "You do not have enough free disk space to repair this copy of Kestrix.";
constexpr char kConfirmGo[] = "\n\nClick continue to begin repairing Kestrix.";

// The edit screen.
constexpr char kEditTitle[] = "Select Scenery";
constexpr char kEditText[] =
    "Click on the world map to select what scenery you would like to install.  Scenery that you deselect will be "
    "removed; scenery that you select will be installed.  If you fly into an area with no scenery installed, you will "
    "see only ocean.";
constexpr char kSceneryEnough[] = "You have enough free disk space to install this scenery.";
constexpr char kSceneryShort[] = "You do not have enough free disk space to install this scenery.";

// The done screens.
constexpr char kRepairDoneTitle[] = "Finished Repairing Kestrix.";
constexpr char kRepairDoneErrors[] =
    "There were errors during the repair; your copy of Kestrix may not be usable.\n\nYou can click Go Back and use the "
    "repair and add-remove scenery functions to try to reinstall any missing or damaged files.";
const char* const kRepairDoneWell[] = {"I have finished repairing ", " - click Go Back to return to the main menu."};
constexpr char kSceneryDoneTitle[] = "Finished With Add/Remove Scenery";
const char* const kSceneryDoneWell[] = {"I have successfully ", " scenery to match your choices on the map."};
const char* const kSceneryDoneErrors[] = {
    "There were errors while ",
    " your scenery; your copy of Kestrix may not be usable.\n\nYou can click Go Back and use the repair and "
    "add-remove scenery functions to try to reinstall any missing or damaged files."};

// The verb of the scenery done screen, by what the run fetched and deleted.
struct verb_row {
	bool fetched;
	bool deleted;
	const char* after_success;
	const char* after_errors;
};
const verb_row kVerbs[] = {
    {false, true, "removed", "removing"},
    {false, false, "updated", "updating"},
    {true, false, "installed more", "installing more"},
    {true, true, "added and removed", "adding and removing"},
};

int verb_row_of(int files_to_fetch, int files_to_delete)
{
	const bool fetched = files_to_fetch >= 1, deleted = files_to_delete >= 1;
	for (int i = 0; i < int(std::size(kVerbs)); ++i)
		if (kVerbs[i].fetched == fetched && kVerbs[i].deleted == deleted) return i;
	return 0;
}

// `text` with each "%d" in turn replaced by the next number (a translation may not
// hold printf's other conversions safely, so no printf).
std::string fill_numbers(std::string text, std::initializer_list<long> numbers)
{
	size_t at = 0;
	for (long n : numbers) {
		at = text.find(kNumberMark, at);
		if (at == std::string::npos) break;
		const std::string digits = std::to_string(n);
		text.replace(at, sizeof kNumberMark - 1, digits);
		at += digits.size();
	}
	return text;
}

// The step list of a flow, its labels translated as they are shown.
void set_flow_steps(const flow_step (&steps)[kStepCount])
{
	step_names.clear();
	step_funcs.clear();
	for (const flow_step& st : steps) {
		step_names.push_back(UTL_translate_string(st.label));
		step_funcs.push_back(st.screen);
	}
}

int pick_screen(const repair_flow& f, int first, wizard_screen& s)
{
	s.title = UTL_translate_string(f.pick_title);
	s.back_screen = dvd_start;
	s.next_screen = f.scan;
	if (first) {
		// A pass left running by a scan screen the user went back from ends before
		// another can start.
		checksum_directory_kill();
		set_flow_steps(*f.steps);
		// Only a registered copy may be repaired or changed: a folder left by another
		// flow (Pick Destination's, the desktop itself when the name was empty) would
		// otherwise enable Continue and receive a whole installation.
		if (!UTIL_is_registered(dest_dir_path)) dest_dir_path.clear();
	}
	if (all_orvalas.size() == 1) dest_dir_path = all_orvalas.front();
	UTIL_pick_install();
	if (dest_dir_path.empty()) s.next_screen = nullptr;
	s.text = UTIL_pick_text(UTL_translate_string(f.pick_question));
	return 0;
}

int scan_screen(const repair_flow& f, int first, wizard_screen& s)
{
	int& ctr = *f.scan_cursor;
	if (first) {
		ctr = 0;
		set_install_filter(f.want_sim, f.want_global);
	}
	s.title = UTL_translate_string(f.scan_title);
	s.text = UTL_translate_string(kScanning) + STR_utf8_to_font(dest_dir_path) + UTL_translate_string(f.scan_text);
	s.on_cancel = checksum_directory_kill;
	float progress = 0.0f;
	if (checksum_directory(ctr, progress)) {
		s.back_screen = nullptr;
		s.next_screen = f.edit;
		return 1;
	}
	s.progress_text = fill_numbers(UTL_translate_string(kScanProgress), {ctr, long(sim_info.size())});
	s.progress = progress;
	s.back_screen = f.pick;
	s.next_screen = nullptr;
	return 0;
}

// The edit screens' first frame while their run is under way: the user came back from
// it. false when the run goes on (s then leads back to it).
bool keep_running_run(const repair_flow& f, wizard_screen& s)
{
	if (!*f.running) return false;
	const std::string action = UTL_translate_string(f.action);
	const int r = abort_alert(UTL_translate_string(f.stop_question), UTL_translate_string(kStop), action,
	                          UTL_translate_string(kContinue), action);
	if (r == kStopAnswerContinue) {
		s.next_screen = f.run;
		return true;
	}
	// Stop, or a question that could not be shown: the copy keeps what was installed.
	install_files_kill();
	*f.running = 0;
	return false;
}
}  // namespace

int repair_files_to_install()
{
	int n = 0;
	for (int i = 0; i < int(sim_info.size()); ++i) {
		const int last = int(sim_info[i].size()) - 1;
		const file_version_struct& w = sim_info[i][last];
		if (!w.have && w.sig != kGone && want_this_f(i, last)) ++n;
	}
	return n;
}

const char* scenery_done_verb(int files_to_fetch, int files_to_delete, bool errors)
{
	const verb_row& r = kVerbs[verb_row_of(files_to_fetch, files_to_delete)];
	return errors ? r.after_errors : r.after_success;
}

int dvd_pick_repair(int first, wizard_screen& s) { return pick_screen(kFlows[flow_repair], first, s); }
int dvd_pick_scenery(int first, wizard_screen& s) { return pick_screen(kFlows[flow_scenery], first, s); }
int dvd_scan_repair(int first, wizard_screen& s) { return scan_screen(kFlows[flow_repair], first, s); }
int dvd_scan_scenery(int first, wizard_screen& s) { return scan_screen(kFlows[flow_scenery], first, s); }

int dvd_confirm_repair(int first, wizard_screen& s)
{
	// The files the repair will install, counted when the screen is entered.
	static int num_file_install = 0;
	if (first) {
		if (keep_running_run(kFlows[flow_repair], s)) return 1;
		recalc_disk_sizes();
		num_file_install = repair_files_to_install();
	}
	s.title = UTL_translate_string(kConfirmTitle);
	s.text = fill_numbers(UTL_translate_string(kConfirmText), {num_file_install}) + STR_utf8_to_font(dest_dir_path) + ".";
	s.back_screen = dvd_pick_repair;
	s.next_screen = dvd_install_repair;
	if (!UTIL_disk_space(UTL_translate_string(kRepairEnough), UTL_translate_string(kRepairShort)))
		s.next_screen = nullptr;
	if (s.next_screen) s.text += UTL_translate_string(kConfirmGo);
	return 0;
}

int dvd_edit_scenery(int first, wizard_screen& s)
{
	if (first) {
		if (keep_running_run(kFlows[flow_scenery], s)) return 1;
		scenery_from_install();
		recalc_disk_sizes();
	}
	UTIL_world_map();
	s.text = UTL_translate_string(kEditText);
	s.title = UTL_translate_string(kEditTitle);
	s.back_screen = dvd_pick_scenery;
	s.next_screen = dvd_install_scenery;
	if (!UTIL_disk_space(UTL_translate_string(kSceneryEnough), UTL_translate_string(kSceneryShort)))
		s.next_screen = nullptr;
	return 0;
}

int dvd_done_repair(int, wizard_screen& s)
{
	return UTIL_done_screen(
	    s, UTL_translate_string(kRepairDoneTitle), UTL_translate_string(kRepairDoneErrors),
	    UTL_translate_string(kRepairDoneWell[0]) + STR_utf8_to_font(dest_dir_path) +
	        UTL_translate_string(kRepairDoneWell[1]));
}

int dvd_done_scenery(int, wizard_screen& s)
{
	const int row = verb_row_of(stg.files_to_download, stg.files_to_delete);
	return UTIL_done_screen(s, UTL_translate_string(kSceneryDoneTitle),
	                        UTL_translate_string(kSceneryDoneErrors[0]) + UTL_translate_string(kVerbs[row].after_errors) +
	                            UTL_translate_string(kSceneryDoneErrors[1]),
	                        UTL_translate_string(kSceneryDoneWell[0]) + UTL_translate_string(kVerbs[row].after_success) +
	                            UTL_translate_string(kSceneryDoneWell[1]));
}
