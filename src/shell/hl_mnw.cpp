// The frame loop, the window table, event dispatch, clicks on menus and dialog close
// boxes, hover help and the cursor.
#include "shell/hl_mnw.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "graphics/ogl_draw.h"
#include "graphics/tman.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_exception.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_math_ui.h"
#include "runtime/xtim.h"
#include "shell/hl_init.h"
#include "shell/keys.h"
#include "shell/menus.h"
#include "widgets/btn.h"
#include "wizard/app_hooks.h"

int return_hit = 0;
int escape_hit = 0;
int delete_hit = 0;
int quit_requested = 0;
int popup_menu_select = 0;
int active_popup_code = 0;
int select_popup_code = 0;

namespace {

// The fixed-size dialogs: id, title (a fixed text, or UI string n of stls), size.
struct wind_row {
	int id;
	const char* title;
	int title_ui;
	int width, height;
};
constexpr int kNoUiString = -1;
const wind_row kWindows[] = {
	{1, "EULA", kNoUiString, 500, 300},   {2, "Prefs", kNoUiString, 600, 380},
	{992, "Livery", kNoUiString, 561, 474}, {993, nullptr, 613, 600, 300},
	{994, nullptr, 601, 420, 250},        {995, nullptr, 602, 300, 166},
	{996, nullptr, 602, 700, 146},        {997, nullptr, 602, 700, 206},
	{998, nullptr, 614, 561, 474},        {999, nullptr, 77, 330, 474},
};

// The fixed-size dialog `id`, or null for a window that takes the screen's size.
const wind_row* fixed_window(int id)
{
	for (const auto& w : kWindows)
		if (w.id == id) return &w;
	return nullptr;
}

// Windows whose close boxes a click (or Return) does not work. The two-button question
// (997) draws none, and closing it would answer it: its callers take that answer as
// leaving the run, so it is left open like the modified-file question.
const int kNoCloseBox[] = {0, 994, 995, 996, 997, 998, 999};
constexpr float kCloseBoxWidth = 25;
constexpr float kCloseBoxHeight = 20;

// The texture-load failures the frame loop reports on window 0.
const char* const kTexFailLine3 = "Please see the log.txt file for a detailed list of missing files.";
struct tex_fail_row {
	bool (tman_class::*has)();
	void (tman_class::*mute)();
	const char* line1;
	const char* line2;
	int source_line;
};
const tex_fail_row kTexFails[] = {
	{&tman_class::has_scene_load_fail, &tman_class::mute_scene_load_fail, "Some scenery textures could not be loaded.",
	 "This may be an installation problem or you may have a damaged add-on scenery package.", 1566},
	{&tman_class::has_plane_load_fail, &tman_class::mute_plane_load_fail,
	 "Some textures for the aircraft you selected could not be loaded.",
	 "This may be an installation problem or you may have a damaged add-on aircraft package.", 1567},
	{&tman_class::has_instl_load_fail, &tman_class::mute_instl_load_fail, "Some textures could not be loaded.",
	 "This may be an installation problem.  Run the installer/updater again to get these missing textures.", 1568},
};
const char* const kSourceName = "hl_mnw";

// Hover help.
constexpr float kHelpDelay = 1.0f;
constexpr int kHelpCharsPerLine = 50;
constexpr int kHelpLineHeight = 10;
constexpr int kHelpPad = 20;
constexpr int kHelpMinHeight = 60;
constexpr int kHelpMaxHeight = 300;
constexpr float kHelpLeftOfMouse = 415;
constexpr float kHelpRightRoom = 410;
constexpr float kHelpAboveMouse = 15;
constexpr float kHelpMargin = 10;
constexpr float kHelpTopRoom = 20;
constexpr float kHelpPanelWidth = 420;
constexpr float kHelpTextInset = 3;
constexpr float kHelpWrap = 394;
constexpr int kHelpPanelStyle = 14;
constexpr int kHelpTextColour = 47;

// Cursor.
constexpr float kCursorHideDelay = 10.0f;
constexpr int kCursorArrow = 1;
constexpr int kCursorHidden = 2;
constexpr int kCursorFirstDrawn = 3;
constexpr int kCursorLastDrawn = 14;
constexpr int kFirstFixedDialog = 992;
constexpr int kLastFixedDialog = 999;
constexpr int kCursorColour = 49;
constexpr float kCursorHalf = 15;
constexpr float kAtlasSize = 512;
constexpr float kCursorCell = 32;
constexpr float kCursorCellsS = 352;  // atlas column of the first cursor cell
constexpr float kCursorCellsT = 0;
constexpr int kCursorsPerRow = 4;

constexpr int kViewportWholeWindow = 2;
// The window's bounds are taken as they are: a divisor of 0 would make every coordinate
// of the projection NaN, and nothing would be drawn until the next start-up metrics.
constexpr float kViewportWholeUnits = 1.0f;

frame_recorder_fn g_recorder = nullptr;
int win_started = 0;
int OS_mouse_showing = 0;
int mouse_was_plugin = 0;

void load_mouse(int h, int v)
{
	const float s = mnw.ui_scale > 0 ? mnw.ui_scale : 1.0f;
	mnw.mouse_x = h / s;
	mnw.mouse_y = (mnw.y_res_now - v) / s;
	mnw.wind_under_mouse = mnw.mouse_wind_id;
	mnw.mouse_x -= mnw.dialog_x;
	mnw.mouse_y -= mnw.dialog_y;
}

// A box with no extent (an empty slot's zero box, the pop-up slot's reset box) is
// never hit, wherever the mouse is.
bool box_holds(int x1, int y1, int x2, int y2, float x, float y)
{
	if (x1 == x2 || y1 == y2) return false;
	return x >= x1 && x <= x2 && y >= y1 && y <= y2;
}

bool closable(int id)
{
	return std::find(std::begin(kNoCloseBox), std::end(kNoCloseBox), id) == std::end(kNoCloseBox);
}

void show_os_cursor(bool shown)
{
	if (shown == bool(OS_mouse_showing)) return;
	OS_mouse_showing = shown;
	plat_window().show_cursor(shown);
}

void draw_cursor(int kind)
{
	const int cell = kind - kCursorFirstDrawn;
	const float s0 = (kCursorCellsS + (cell % kCursorsPerRow) * kCursorCell) / kAtlasSize;
	const float t0 = (kCursorCellsT + (cell / kCursorsPerRow) * kCursorCell) / kAtlasSize;
	const float s1 = s0 + kCursorCell / kAtlasSize, t1 = t0 + kCursorCell / kAtlasSize;
	const float x = mnw.mouse_x, y = mnw.mouse_y, h = kCursorHalf;
	OGL_2dquad(t_interface, kCursorColour, 1.0f, x - h, y - h, s0, t0, x - h, y + h, s0, t1, x + h, y + h, s1, t1,
	           x + h, y - h, s1, t0, 1, al_blend);
}

}  // namespace

frame_recorder_fn DIDIVI_set_frame_recorder(frame_recorder_fn f)
{
	frame_recorder_fn old = g_recorder;
	g_recorder = f;
	return old;
}

void DIDIVI_reset_frame_loop()
{
	win_started = 0;
	OS_mouse_showing = 0;
	mouse_was_plugin = 0;
}

void DIDIVI_window_origin(int screen_w, int screen_h, float scale, float dx, float dy, float& x, float& y)
{
	const float s = scale > 0 ? scale : 1.0f;
	const float room = screen_w > 2 * screen_h ? screen_w / 2.0f : float(screen_w);
	const auto place = [s](float free) {
		const float v = std::trunc(std::round(free / 2.0f) / s);
		return v < 0 ? 0.0f : v;
	};
	x = place(room - s * dx);
	y = place(screen_h - s * dy);
}

int DIDIVI_help_height(int length)
{
	return std::clamp(length / kHelpCharsPerLine * kHelpLineHeight + kHelpPad, kHelpMinHeight, kHelpMaxHeight);
}

bool DIDIVI_fixed_window_size(int id, float& width, float& height)
{
	const wind_row* w = fixed_window(id);
	if (!w) return false;
	width = float(w->width);
	height = float(w->height);
	return true;
}

void DIDIVI_startwind(int id, int /*flag*/)
{
	plot_init_lights = 1;
	mouse_help_per_wind(id);
	OGL_viewport(kViewportWholeWindow, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, kViewportWholeUnits, 0);
	mnw.wind_dx = float(mnw.x_res_now);
	mnw.wind_dy = float(mnw.y_res_now);
	mnw.fixed_dialog = 0;
	if (const wind_row* w = fixed_window(id)) {
		stls.wind_title = w->title ? w->title : stls.ui_str[w->title_ui];
		mnw.wind_dx = float(w->width);
		mnw.wind_dy = float(w->height);
		mnw.fixed_dialog = 1;
	}
	BTN_unfocus_any();
	mnw.open_menu = -1;
	mnw.wind_id = mnw.mouse_wind_id = id;
	DIDIVI_window_origin(mnw.x_res_now, mnw.y_res_now, mnw.ui_scale, mnw.wind_dx, mnw.wind_dy, mnw.dialog_x,
	                     mnw.dialog_y);
	mnw.mouse_held = mnw.mouse_down = mnw.wheel = 0;
	if (int(menu.size()) > menu_popup_slot) {
		menu_struct& p = menu[menu_popup_slot];
		p.x1 = p.y1 = p.x2 = p.y2 = -1;
	}
}

// The key layer reads the seam's key messages as they come.
static_assert(key_msg_typed_text == plat_key_typed_text);

void APL_handlewin(const plat_event& e)
{
	switch (e.what) {
	case plat_ev_high_level:
		quit_requested = 1;
		break;
	case plat_ev_key_down:
		keys.handle_key_raw(plat_ev_key_down, e.message, e.modifiers);
		mnw.key_event = 1;
		mnw.key_held = 1;
		break;
	case plat_ev_key_up:
		keys.handle_key_raw(plat_ev_key_up, e.message, e.modifiers);
		mnw.key_held = 0;
		break;
	case plat_ev_auto_key:
		keys.handle_key_raw(plat_ev_auto_key, e.message, e.modifiers);
		mnw.key_event = 1;
		break;
	case plat_ev_mouse_down:
		// The press is hit-tested where it happened, not where the pointer is now.
		load_mouse(e.x, e.y);
		mnw.mouse_down = 1;
		DIDIVI_handleclick(0);
		break;
	case plat_ev_mouse_up:
		mnw.mouse_up = 1;
		break;
	case plat_ev_update:
		DIDIVI_startwind(mnw.wind_id, 0);
		break;
	case plat_ev_wheel:
		mnw.wheel += e.wheel;
		break;
	default:
		// Activation would hide the menu bar; this desktop has none to hide.
		break;
	}
}

void DIDIVI_handleclick(int forced)
{
	const float mx = mnw.mouse_x, my = mnw.mouse_y;
	const int slots = std::min(int(menu.size()), menu_popup_slot);
	if (mnw.wind_id == wind_main) {
		for (int s = 0; s < slots; ++s) {
			const menu_struct& m = menu[s];
			if (m.parent != -1 && m.parent != mnw.open_menu) continue;
			if (!box_holds(m.x1, m.y1, m.x2, m.y2, mx, my)) continue;
			mnw.open_menu = mnw.open_menu == s ? -1 : s;
			mnw.mouse_down = 0;
			return;
		}
	} else if (closable(mnw.wind_id)) {
		const bool top = my >= mnw.wind_dy - kCloseBoxHeight && my <= mnw.wind_dy;
		const bool corner = top && ((mx >= 0 && mx <= kCloseBoxWidth) ||
		                            (mx >= mnw.wind_dx - kCloseBoxWidth && mx <= mnw.wind_dx));
		if (forced || corner) {
			BTN_zap_boxes(1);
			OGL_sbuff();
			return_hit = 0;
			DIDIVI_startwind(wind_main, forced);
			return;
		}
	}
	if (mnw.open_menu < 0 || mnw.open_menu >= int(menu.size())) {
		mnw.open_menu = -1;
		return;
	}
	const menu_struct& open = menu[mnw.open_menu];
	for (int i = 0; i < int(open.items.size()); ++i) {
		const item_struct& it = open.items[i];
		if (it.text.empty() || it.text[0] == '-' || it.text[0] == '=') continue;
		if (!box_holds(it.x1, it.y1, it.x2, it.y2, mx, my)) continue;
		if (mnw.open_menu == menu_popup_slot) {
			popup_menu_select = i;
			select_popup_code = active_popup_code;
			active_popup_code = 0;
		} else {
			APP_handlemenu(it.code);
		}
		mnw.open_menu = -1;
		mnw.mouse_down = 0;
		return;
	}
	mnw.open_menu = -1;
}

void mouse_help_per_wind(int id)
{
	const std::string& help = stls.mouse_help;
	if (!help.empty() && xtim.elapsed - mnw.mouse_move_time > kHelpDelay) {
		const float height = float(DIDIVI_help_height(int(help.size())));
		float left = mnw.mouse_x - kHelpLeftOfMouse;
		left = std::max(left, kHelpMargin - mnw.dialog_x);
		left = std::min(left, mnw.x_res_now - kHelpRightRoom - mnw.dialog_x);
		float bottom = mnw.mouse_y + kHelpAboveMouse;
		bottom = std::max(bottom, kHelpMargin - mnw.dialog_y);
		bottom = std::min(bottom, mnw.y_res_now - kHelpTopRoom - mnw.dialog_y - height);
		BTN_frame2(kHelpPanelStyle, left - kHelpMargin, bottom - kHelpMargin, kHelpPanelWidth, height + 2 * kHelpMargin,
		           "");
		OGL_string(kHelpTextColour, left + kHelpTextInset, bottom + height - kHelpMargin, help, kHelpWrap,
		           charset_UI_diff_space, 0);
	}
	stls.mouse_help.clear();
	xtim.profile_chart("help", 0);

	if (id == wind_main && xtim.elapsed - mnw.mouse_move_time > kCursorHideDelay) mnw.cursor_kind = kCursorHidden;
	if (id >= kFirstFixedDialog && id <= kLastFixedDialog) mnw.cursor_kind = 0;
	show_os_cursor(mnw.cursor_kind <= kCursorArrow);
	// The system arrow is the only shape SDL shows here, so leaving kind 1 needs no reset.
	mouse_was_plugin = mnw.cursor_kind == kCursorArrow;
	if (mnw.cursor_kind >= kCursorFirstDrawn && mnw.cursor_kind <= kCursorLastDrawn) draw_cursor(mnw.cursor_kind);
}

int DIDIVI_load_mxy(int /*window*/, int h, int v)
{
	load_mouse(h, v);
	return mnw.wind_under_mouse;
}

int has_optionkey() { return (plat_window().modifiers() & plat_mod_option) != 0; }
int has_shiftkey() { return (plat_window().modifiers() & plat_mod_shift) != 0; }
int has_capslock() { return (plat_window().modifiers() & plat_mod_caps_lock) != 0; }
int accept_item(int) { return 1; }

void DIDIVI_event_proc()
{
	xtim.profile_chart("init", 0);
	return_hit = escape_hit = delete_hit = 0;
	mnw.mouse_down = mnw.mouse_up = mnw.key_event = 0;

	if (mnw.wind_id == -1) mnw.wind_id = wind_main;
	if (!win_started) {
		win_started = 1;
		DIDIVI_startwind(mnw.wind_id, 0);
	}
	xtim.profile_chart("startwin", 0);

	const int wait_ms = mnw.wind_id == wind_alert ? alert_wait_ms : frame_wait_ms;
	plat_window_backend& win = plat_window();
	int h = 0, v = 0;
	win.pointer(h, v);
	load_mouse(h, v);

	plat_event e;
	while (win.wait_event(e, wait_ms)) {
		APL_handlewin(e);
		if (e.what == plat_ev_os) break;
	}
	xtim.profile_chart("event", 0);

	if (mnw.wind_id == wind_main) {
		THREAD_check_exception(1);
		for (const auto& f : kTexFails) {
			if (mnw.wind_id != wind_main || !(tman.*f.has)()) continue;
			__DIDIVI_alert(wind_main, f.line1, f.line2, kTexFailLine3, "", t_alert, kSourceName, f.source_line);
			(tman.*f.mute)();
		}
	}
	xtim.profile_chart("netlist", 0);

	xtim.xtim_update();
	keys.run_repeat_keys();
	mnw.cursor_kind = 0;

	if (mnw.open_menu >= 0) {
		const int slots = std::min(int(menu.size()), menu_popup_slot);
		for (int s = 0; s < slots; ++s) {
			const menu_struct& m = menu[s];
			if (m.parent != -1 || s == mnw.open_menu) continue;
			if (box_holds(m.x1, m.y1, m.x2, m.y2, mnw.mouse_x, mnw.mouse_y)) DIDIVI_handleclick(0);
		}
	}
	xtim.profile_chart("menu", 0);

	BTN_begin_focus_ring();
	if (!mnw.fixed_dialog) {
		APP_update();
		xtim.first_frame = 0;
	}
	mouse_help_per_wind(mnw.wind_id);
	standard_gui();
	xtim.profile_chart("oglwork", 0);

	const int recorded = g_recorder ? g_recorder() : 0;
	if (recorded == 0) OGL_sbuff();
	xtim.profile_chart("sbuff", 0);
	xtim.frame_count++;
	xtim.profile_chart("finish", 1);
}
