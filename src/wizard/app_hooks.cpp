#include "wizard/app_hooks.h"

#include "extras/qtim.h"
#include "shell/hl_mnw.h"

// The installer binds no function keys and makes no in-window menus.
void function_key(int) {}
void APP_handlemenu(int) {}

void install_frame_recorder()
{
	DIDIVI_set_frame_recorder([] { return qtim.mov_per_frame(); });
}
