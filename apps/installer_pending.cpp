// Services the window calls whose own units are not built yet: for each, the least that
// keeps the window running (it draws, hits and loads nothing). Each group names the work
// that replaces it; the whole file goes once the last of them has landed. Nothing here
// is tested or counted as built.
#include <GL/gl.h>

#include <string>

#include "graphics/colr.h"
#include "runtime/hl_globals.h"
#include "shell/hl_mnw.h"
#include "shell/keys.h"
#include "shell/menus.h"
#include "widgets/btn.h"
#include "wizard/app_hooks.h"

namespace {
constexpr int kBackground = 34;
}  // namespace

// ---- Goes with "Buttons, check boxes, the text field and its editing engine".
void BTN_begin_focus_ring() {}
void BTN_unfocus_any() {}
int BTN_dispatch_to_focus(int, int, int) { return 0; }
void BTN_fillwin(int, int) {}
void BTN_frame1(int, float, float, float, int) {}
void BTN_frame2(int, float, float, float, float, std::string) {}
void BTN_subwin(float, int, float, float, float, float, std::string, float*, float*) {}
int BTN_zap_boxes(int) { return 0; }
int BTN_action(float, float, float, int, int, std::string, std::string) { return 0; }
int BTN_is_int(float, float, int*, int, std::string) { return 0; }

// ---- Goes with "Keys and menus: keyboard translation, key bindings, in-window menus".
keys_class keys;
void keys_class::handle_key_raw(long, long, long) {}
void keys_class::run_repeat_keys() {}
void keys_class::keys_io(int) {}
void keys_set_layout_hook(int (*)(int)) {}
void DIDIVI_clear_menus(int mode)
{
	if (mode == 1) menu.assign(menu_slot_count, menu_struct{});
}
void standard_gui() {}

// ---- Goes with "Wizard core and install DVDs: program entry, the wizard engine".
void APP_update()
{
	const float* c = colr.palette[kBackground];
	glClearColor(c[0], c[1], c[2], 1.0f);
	glClear(GL_COLOR_BUFFER_BIT);
	if (quit_requested) app_done = 1;
}
void APP_handlemenu(int) {}
