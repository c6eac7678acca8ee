// The web demo: six screens that install a new demo copy from the update servers into a
// folder the user names, on the web updater's machinery.
#include <chrono>
#include <iterator>
#include <thread>

#include "engine/engine.h"
#include "engine/new_copy_folder.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_string.h"
#include "runtime/io_utils.h"
#include "runtime/rec_stg.h"
#include "runtime/translate.h"
#include "wizard/main_copies.h"
#include "wizard/main_install.h"
#include "wizard/main_licence.h"
#include "wizard/main_map.h"
#include "wizard/main_web.h"
#include "wizard/main_web_shared.h"

int accept_eula_demo = 0;
int demo_install_is_running = 0;
new_copy_place demo_dest;

namespace {

const web_step kSteps[] = {
    {"Welcome", demo_start, false},
    {"License", demo_eula, false},
    {"Check Servers", demo_get_updates, false},
    {"Pick Destination", demo_pick_dest, false},
    {"Install", demo_run_patch, false},
    {"Finish", demo_done, false},
};

const char kWelcome[] = "Welcome";
const char kGuide[] = "I will guide you through the process of installing the web demo of Kestrix 9.";
const char kAlreadyHave[] =
    "\n\nWarning: you already have Kestrix 9 installed on this computer.  Are you sure you want to install a new "
    "demo copy of Kestrix 9?";
const char kPickFolder[] = "Pick a folder to install the Kestrix 9 demo into.";
const char kDemoWord[] = "Demo";
const char kDesktopEnd[] = "will appear on your desktop.)";
const char kBlank[] = " ";  // before the word for demo, and before kDesktopEnd
const char kSpaceEnough[] = "You have enough free disk space to install the Kestrix9  demo at this location.";
const char kSpaceShort[] =
    "You do not have enough free disk space to install the Kestrix 9 demo at this location.  You can install to a "
    "different location, or save disk space by installing only some of the global scenery.";
const char kCancelQuestion[] =
    "Are you sure you want to cancel the installation?  This will delete the partially installed copy of the Kestrix "
    "9 demo.";
const char kGoOnLabel[] = "Continue";
const char kGoOnText[] = "the demo installation process.";
const char kCancelLabel[] = "Cancel";
const char kCancelText[] = "the demo installation and delete partial installation.";
const char kDoneTitle[] = "Finshed Web Demo Install";
const char kFinished[] = "I have finished installing the Kestrix 9 web demo at: ";
const char kFinishedEnd[] = ".";  // punctuation, the same in every language
const char kFly[] = "Fly Kestrix 9 Now";
const char kProblem[] = "There were problem installing the Kestrix 9 web demo - it may not be usable.";

// How often the destination screen's scan is looked at while it finishes within the frame.
constexpr std::chrono::microseconds kScanPoll{200};
// abort_alert's answer for its second button, "Cancel".
constexpr int kCancelAnswer = 0;

// The install screen's smoothed fraction; the destination the last scan was made for.
float g_demo_ratio = 0.0f;
std::string g_scanned_for;

// The copy is scanned at once, then the choice and the sizes follow the new destination.
void rescan()
{
	int cursor = 0;
	float fraction = 0.0f;
	// The pool's threads do the work; the frame waits for them without spinning.
	while (!checksum_directory(cursor, fraction)) std::this_thread::sleep_for(kScanPoll);
	set_install_filter(1, 1);
	scenery_take_all();
	recalc_disk_sizes();
	g_scanned_for = dest_dir_path;
}

}  // namespace

int demo_start(int first, wizard_screen& s)
{
	if (first) {
		accept_eula_demo = 0;
		locate_all_kestrixes();
		web_set_steps(kSteps, int(std::size(kSteps)), true);
		web_download_reset();
	}
	s.title = UTL_translate_string(kWelcome);
	s.text = UTL_translate_string(kGuide);
	if (!all_orvalas.empty()) s.text += UTL_translate_string(kAlreadyHave);
	s.next_screen = demo_eula;
	s.back_screen = nullptr;
	return 0;
}

int demo_eula(int, wizard_screen& s)
{
	s.back_screen = demo_start;
	UTIL_licence_panel(s, &accept_eula_demo);
	// Decided after the box, so a tick enables Continue in the same frame.
	s.next_screen = accept_eula_demo ? demo_get_updates : nullptr;
	return 0;
}

int demo_get_updates(int first, wizard_screen& s)
{
	s.back_screen = demo_eula;
	if (web_search_frame(first, s, web_demo)) {
		s.back_screen = nullptr;
		s.next_screen = demo_pick_dest;
		return 1;
	}
	return 0;
}

int demo_pick_dest(int first, wizard_screen& s)
{
	if (first && demo_install_is_running) {
		const int r = abort_alert(UTL_translate_string(kCancelQuestion), UTL_translate_string(kGoOnLabel),
		                          UTL_translate_string(kGoOnText), UTL_translate_string(kCancelLabel),
		                          UTL_translate_string(kCancelText));
		// Only "Cancel" deletes; "Continue" and a box that gave no answer go back to the run.
		if (r != kCancelAnswer) {
			s.next_screen = demo_run_patch;
			return 1;
		}
		UTIL_take_back_new_copy();
		demo_install_is_running = 0;
	}
	if (first) web_download_reset();
	s.back_screen = demo_eula;
	s.next_screen = demo_run_patch;
	const destination_frame f =
	    UTIL_pick_destination(first, s, demo_dest,
	                          {UTL_translate_string(kPickFolder), kBlank + UTL_translate_string(kDemoWord),
	                           kBlank + UTL_translate_string(kDesktopEnd)});
	// No scan and no sizes for a folder that will not be made.
	if (f.state == new_folder_unnamed || f.state == new_folder_refused) {
		s.next_screen = nullptr;
		return 0;
	}
	if (f.state == new_folder_taken) s.next_screen = nullptr;  // the sizes are still shown for the taken folder
	// Entering the screen rescans too: another screen may have changed the model since.
	if (first || f.changed || dest_dir_path != g_scanned_for) rescan();
	// A short disk is said, and Continue stays, as on the DVD install's destination
	// screen: a disk that fills during the run ends it with the full-disk error.
	UTIL_disk_space(UTL_translate_string(kSpaceEnough), UTL_translate_string(kSpaceShort));
	return 0;
}

int demo_run_patch(int, wizard_screen& s)
{
	if (!demo_install_is_running) {
		// The run makes the new copy's folder itself, first and once: one that appeared
		// since the destination was picked is neither asked about nor installed into.
		if (ENG_make_new_copy_folder() != 0) {
			s.next_screen = demo_pick_dest;
			return 1;
		}
		if (choose_files() == 0 || make_dirs() != 0) {
			UTIL_take_back_new_copy();
			s.next_screen = demo_pick_dest;
			return 1;
		}
		web_download_reset();
		demo_install_is_running = 1;
	}
	if (web_run_frame(s, g_demo_ratio, demo_pick_dest)) {
		s.next_screen = demo_done;
		demo_install_is_running = 0;
		ENG_forget_new_copy();
		return 1;
	}
	return 0;
}

int demo_done(int, wizard_screen& s)
{
	s.title = UTL_translate_string(kDoneTitle);
	s.back_screen = nullptr;
	s.next_screen = wizard_quit;
	if (stg.extract_failed == 0) {
		s.text = UTL_translate_string(kFinished) + STR_utf8_to_font(dest_dir_path) + kFinishedEnd;
		web_offer_run(s, UTL_translate_string(kFly));
	} else {
		s.text = UTL_translate_string(kProblem);
	}
	return 0;
}
