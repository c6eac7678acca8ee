// The in-window menus.
#include "runtime/hl_globals.h"
#include "shell/menus.h"
#include "support/fakes/fake_record.h"

void DIDIVI_clear_menus(int mode)
{
	kx_fake::record("DIDIVI_clear_menus", {double(mode)});
	if (mode == 1) menu.assign(menu_slot_count, menu_struct{});
}
void standard_gui() { kx_fake::record("standard_gui", {}); }
