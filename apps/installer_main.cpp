#include "runtime/hl_globals.h"
#include "runtime/rec_stls.h"
#include "shell/hl_init.h"
#include "shell/hl_mnw.h"
#include "wizard/app_hooks.h"
#include "wizard/main_steps.h"
#include "wizard/question_windows.h"

int main(int argc, char** argv)
{
	// From the first frame on, the start-up's language chooser included.
	install_frame_recorder();
	// Start-up parses the command line ("--help" and "--cmnds" end the process there)
	// and opens the window; a start-up failure ends the process inside it.
	DIDIVI_init(argc, argv);
	stls.ui_str[stls_alert_button] = "OK";
	// The engine asks its two questions in windows of ours from now on.
	install_question_windows();
	// Finds the DVD; started from it, this process hands over to a copy and ends here.
	main_start(argc, argv);
	while (!app_done) DIDIVI_event_proc();
	return 0;
}
