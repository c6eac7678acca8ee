// The DVD installer's main menu, as far as the DVD decides it.
#include "runtime/hl_globals.h"
#include "runtime/translate.h"
#include "wizard/main_dvd.h"
#include "wizard/main_screens.h"
#include "wizard/main_steps.h"

namespace {
constexpr int kListGood = 3;
constexpr int kNotOurDisc = 2;

// The install flow's steps, shown from the main menu on.
struct step {
	const char* label;
	screen_fn screen;
};
const step kInstallSteps[] = {
    {"Welcome", dvd_start},
    {"Pick Destination", dvd_pick_install},
    {"License", dvd_eula_install},
    {"Select Scenery", dvd_scenery_install},
    {"Install", dvd_run_install},
    {"Finish", dvd_done_install},
};

const char kTitle[] = "Kestrix 9 Installer";
const char kInsertFirst[] = "Please insert Kestrix 9 DVD number one to begin.";
const char kNotOurs[] = "This DVD does not appear to be an Kestrix 9 DVD.";
const char kWelcome[] = "Welcome to the Kestrix 9 Installer.  I will guide you through the proess of installing ";
const char kAlreadyHave[] = "You already have Kestrix 9 installed on this computer.  What would you like to do?";
// Scenery DVDs without the simulator and no copy to add it to: the set's name goes between.
const char* const kSceneryOnly[] = {
    "This DVD (", ") contains global scenery.  You must install the sim before you install the global scenery."};

// The main menu's choices with a copy installed, in order, and what each needs on the
// DVD set.
enum choice_need { need_nothing, need_scenery, need_sim };
struct menu_choice {
	const char* label;
	screen_fn target;
	choice_need need;
};
const menu_choice kMenuChoices[] = {
    {"Run Kestrix Now", dvd_pick_run_sim, need_nothing},
    {"Add Or Remove Scenery", dvd_pick_scenery, need_scenery},
    {"Repair Kestrix", dvd_pick_repair, need_sim},
    {"Install A Second Copy of Kestrix", dvd_pick_install, need_sim},
};
}  // namespace

void dvd_set_install_steps()
{
	step_names.clear();
	step_funcs.clear();
	// The step list is shown as it stands: its labels are translated here.
	for (const step& st : kInstallSteps) {
		step_names.push_back(UTL_translate_string(st.label));
		step_funcs.push_back(st.screen);
	}
}

int dvd_start(int first, wizard_screen& s)
{
	if (first) {
		main_read_registration();
		dvd_set_install_steps();
	}
	s.title = UTL_translate_string(kTitle);
	s.back_screen = nullptr;
	s.next_screen = nullptr;
	UTIL_scan_dvd();
	if (dvd_path.empty()) {
		s.text = UTL_translate_string(kInsertFirst);
		return 0;
	}
	if (install_name == no_install_name || stg.dir_state == kNotOurDisc) {
		s.text = UTL_translate_string(kNotOurs);
		return 0;
	}
	if (stg.dir_state != kListGood) return 0;
	if (!all_orvalas.empty()) {
		s.text = UTL_translate_string(kAlreadyHave);
		for (const menu_choice& c : kMenuChoices) {
			if ((c.need == need_scenery && !stg.has_scenery) || (c.need == need_sim && !stg.has_sim_files)) continue;
			s.choice_labels.push_back(UTL_translate_string(c.label));
			s.choice_targets.push_back(c.target);
		}
		return 0;
	}
	if (stg.has_sim_files) {
		s.text = UTL_translate_string(kWelcome) + install_name + ".";
		s.next_screen = dvd_pick_install;
		return 0;
	}
	s.text = UTL_translate_string(kSceneryOnly[0]) + install_name + UTL_translate_string(kSceneryOnly[1]);
	return 0;
}
