// The end of the install flow and the screen that starts an installed copy.
#include "engine/engine_globals.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_errors.h"
#include "runtime/hl_globals.h"
#include "runtime/io_utils.h"
#include "runtime/translate.h"
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
}  // namespace

int dvd_done_install(int, wizard_screen& s)
{
	s.title = UTL_translate_string(kDoneTitle);
	s.back_screen = dvd_start;
	s.next_screen = wizard_quit;
	if (num_install_errors > 0) {
		s.text = UTL_translate_string(kDoneWithErrors);
	} else {
		s.text = UTL_translate_string(kDoneWell);
		s.choice_labels.push_back(UTL_translate_string(kRunNow));
		s.choice_targets.push_back(dvd_do_run_sim);
	}
	return 0;
}

// Starts the copy at dest_dir_path; this process then finishes up and ends. A copy
// whose program cannot be started is said once, and the main menu comes back (trying
// again every frame would fork behind an empty screen).
int dvd_do_run_sim(int, wizard_screen& s)
{
	const std::string app = dest_dir_path + kAppName + kAppSuffix;
	const int e = launch_app(app, "");
	__DIDIVI_alert(0, app, error_str(e), "", "", t_alert, __FILE__, __LINE__);
	s.next_screen = dvd_start;
	return 1;
}
