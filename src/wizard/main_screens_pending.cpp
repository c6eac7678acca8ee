// Screens of the install, repair and scenery flows that are not written yet. Each shows
// nothing, offers the way back to the main menu and Quit, and goes when its flow's unit
// defines it. The DVD screens and the main menu name them already.
#include "wizard/main_screens.h"

namespace {
int not_yet(wizard_screen& s)
{
	s.back_screen = dvd_start;
	s.next_screen = wizard_quit;
	return 0;
}
}  // namespace

int dvd_pick_install(int, wizard_screen& s) { return not_yet(s); }
int dvd_eula_install(int, wizard_screen& s) { return not_yet(s); }
int dvd_scenery_install(int, wizard_screen& s) { return not_yet(s); }
int dvd_pick_run_sim(int, wizard_screen& s) { return not_yet(s); }
