#include "wizard/main_globals.h"

#include "wizard/main_screens.h"

screen_fn g_wizard = dvd_start;
std::string cmd_line_path;
std::string server_desc[10];
std::vector<std::string> all_orvalas;
std::vector<std::string> step_names;
std::vector<screen_fn> step_funcs;
int num_install_errors = 0;
int dvd_install_is_running = 0;
int repair_is_running = 0;
int scenery_install_is_running = 0;
int accept_eula = 0;

int wizard_quit(int, wizard_screen&)
{
	app_done = 1;
	return 1;
}
