#pragma once
// The frame loop and the windows: one pass of DIDIVI_event_proc is one frame of the
// whole program. Window state lives in `mnw` (runtime/rec_mnw.h).
#include "platform/plat_window.h"

// Per-frame key flags: Return or Enter, Escape, Delete or Backspace that no widget
// took; cleared at the start of every frame.
extern int return_hit;
extern int escape_hit;
extern int delete_hit;

// The window's close button was pressed: the wizard treats it as its Quit button, and
// an open box is first answered the way that changes nothing.
extern int quit_requested;

// The pop-up list protocol: the list widget puts its id into active_popup_code and
// opens menu slot 1519; a click on an item sets popup_menu_select to the item and
// select_popup_code to that id, and clears active_popup_code.
extern int popup_menu_select;
extern int active_popup_code;
extern int select_popup_code;

// Window ids with a meaning in this program.
constexpr int wind_main = 0;
constexpr int wind_prefs = 2;
constexpr int wind_alert = 994;
constexpr int wind_nuke = 995;
constexpr int wind_modified_file = 996;
constexpr int wind_two_button = 997;

// How long one pump waits for an event: 1 tick, 10 ticks while the alert box is up.
constexpr int frame_wait_ms = 17;
constexpr int alert_wait_ms = 167;

void DIDIVI_event_proc();
void DIDIVI_startwind(int id, int flag);
// The size of a fixed-size dialog in interface units; false for a window that takes the
// screen's size.
bool DIDIVI_fixed_window_size(int id, float& width, float& height);
void APL_handlewin(const plat_event& event);
void DIDIVI_handleclick(int forced);
void mouse_help_per_wind(int id);
int DIDIVI_load_mxy(int window, int h, int v);
int has_optionkey();
int has_shiftkey();
int has_capslock();
int accept_item(int);

// Where a dialog of the given size sits on a screen of W by H pixels at scale s
// (interface units): centred, on the left half of a screen more than twice as wide as
// high.
void DIDIVI_window_origin(int screen_w, int screen_h, float scale, float dx, float dy, float& x, float& y);
// The hover-help panel's text height for a help text of this length.
int DIDIVI_help_height(int length);

// The movie recorder sits above the shell: the extras hand the frame loop their
// per-frame offer here. It returns 0 while idle, and the frame loop then swaps itself.
// Without one the recorder counts as idle. Returns the function installed before.
using frame_recorder_fn = int (*)();
frame_recorder_fn DIDIVI_set_frame_recorder(frame_recorder_fn f);

// Forgets that the first window was started (tests run several start-ups in one process).
void DIDIVI_reset_frame_loop();
