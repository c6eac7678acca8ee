// Services the window calls whose own units are not built yet: for each, the least that
// keeps the window running (it draws, hits and loads nothing). Each group names the work
// that replaces it; the whole file goes once the last of them has landed. Nothing here
// is tested or counted as built.
#include <GL/gl.h>

#include <algorithm>
#include <string>

#include "graphics/builtin_tex.h"
#include "graphics/colr.h"
#include "graphics/ogl_draw.h"
#include "graphics/tman.h"
#include "platform/plat_window.h"
#include "runtime/hl_globals.h"
#include "shell/hl_mnw.h"
#include "shell/keys.h"
#include "shell/menus.h"
#include "widgets/btn.h"
#include "wizard/app_hooks.h"

namespace {
constexpr int kBackground = 34;
constexpr int kInterfaceW = 1024, kInterfaceH = 768;
}  // namespace

// ---- Goes with "Drawing core: palette, cached GL state, 2-D primitives, bitmap text".
colr_class colr;
void OGL_setstate(int, int, int, int, int, int) {}
void OGL_viewport(int, float, float, float, float, float, float, float, float, float, float, float, int)
{
	glViewport(0, 0, mnw.x_res_now, mnw.y_res_now);
}
void OGL_pix_specs(int)
{
	mnw.ui_scale = mnw.ui_scale2 = 1.0f;
	mnw.area_x = mnw.wind_id < 0 ? 0.0f : float(std::max(0, (mnw.x_res_now - kInterfaceW) / 2));
	mnw.area_y = float(std::max(0, mnw.y_res_now - kInterfaceH));
}
void OGL_nrml_colors() {}
void OGL_sbuff() { plat_gl_swap(); }
void OGL_plot_back_col() {}
void OGL_fillrect(int, float, float, float, float, float) {}
void OGL_line(int, float, float, float, float, float, float) {}
void OGL_2dquad(int, int, float, float, float, float, float, float, float, float, float, float, float, float, float,
                float, float, float, float, int, int)
{
}
float OGL_string(int, float, float y, const std::string&, float, int, int) { return y; }

// ---- Goes with "Images and textures: the texture manager ... and the built-in atlases".
void tman_class::reset_bind() {}
int tman_class::load_texture(tex_fail_mode, int, int, tex_load_time, const std::string&) { return 0; }
void tman_class::bind_ref(int, int, int) {}
void tman_class::unload_texture(int) {}
void TEX_load_builtin_textures() {}

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
