#pragma once
// The window record `mnw`: window, context, display, mouse and keyboard state that the
// shell, the drawing layer and the widgets read and write in place (no accessor layer).
//
// Some pieces of the framework know the same fields under other names; those names are
// kept beside the field as an alias (an anonymous union of two members of one type), so
// `mnw.wind_id` and `mnw.current_window` are the same int. Aliases:
//   alias_now   = pixel_format_level     wind_id   = current_window
//   wind_dx     = window_width           wind_dy   = window_height
//   cursor_kind = pointer_shape          open_menu = menu_state
//   x_res_now   = res_x                  y_res_now = res_y
//   col_res_now = res_depth              tex_res   = texture_res
//   wheel       = mouse_wheel
//
// Every field starts at zero except `keylist_up`, which starts at 1. The record has no
// dynamic initialisation, so it holds its start values before any other global's
// constructor runs, whatever the order of the units.

struct mnw_struct {
	int alias_req;  // requested pixel-format level 0..4 (preference "_alias_req")
	union {
		int alias_now;  // level actually chosen; > 0 turns multisampling on
		int pixel_format_level;
	};
	int unused_0;
	void* pix_fmt;  // the pixel format, chosen once and shared by both context slots
	void* wind[2];  // slot 0 the main window, slot 1 the second window (never made here)
	void* ctx[2];   // slot 0 the main context, slot 1 shares slot 0's objects
	int sec_mon_inuse;  // preference "_sec_mon_inuse"; 0 in this program
	int two_wind;       // the second window exists; 0 in this program
	int mouse_wind_id;  // window id used for mouse routing
	union {
		int wind_id;  // -1 unset, 0 the full window, 1, 2 and 992..999 the fixed dialogs
		int current_window;
	};
	int wind_under_mouse;
	int fixed_dialog;  // the frame loop skips the application hook while it is set
	float dialog_x;    // origin of the current window inside the screen (interface units)
	float dialog_y;
	union {
		float wind_dx;
		float window_width;
	};
	union {
		float wind_dy;
		float window_height;
	};
	union {
		int cursor_kind;  // 0/1 system arrow, 2 hidden, 3..14 drawn; reset every frame
		int pointer_shape;
	};
	union {
		int open_menu;  // open in-window menu slot, -1 none; 1519 the pop-up list
		int menu_state;
	};
	union {
		int x_res_now;
		int res_x;
	};
	union {
		int y_res_now;
		int res_y;
	};
	union {
		int col_res_now;
		int res_depth;
	};
	int set_res;  // switch the display depth (preference "_set_res")
	union {
		int tex_res;  // texture resolution level, 5 = full size
		int texture_res;
	};
	int x_res_req;    // requested window size
	int y_res_req;
	int col_res_req;  // requested colour depth (preference "_col_res_req")

	// Interface metrics written by OGL_pix_specs.
	float area_x;  // offset of the 1024 by 768 interface inside the window
	float area_y;
	float metric_2;
	float metric_3;
	int full_wind;  // window fills the screen less 40 by 60 pixels; 0 in this program
	float ortho_left;
	float ortho_bottom;
	float ortho_right;
	float ortho_top;
	float center_x;
	float center_y;
	float metric_10;
	float metric_11;
	float ui_scale2;  // the second interface scale, 1.0 beside ui_scale
	float ui_scale;   // pixels per interface unit
	int unused_1[4];

	float mouse_x;  // interface units, y upwards, relative to the current window's origin
	float mouse_y;
	int mouse_down;     // the button went down this frame
	int double_click;   // this mouse-down came less than 0.25 s after the previous one
	int mouse_repeat;   // the button has been held more than 0.25 s since the press
	int mouse_up;       // the button went up this frame
	int mouse_held;     // the button is held
	int quick_release;  // released less than 0.25 s after the press
	union {
		int wheel;  // accumulated wheel delta, both axes added
		int mouse_wheel;
	};
	int key_event;           // a key-down or auto-key event arrived this frame
	int last_char;           // last typed character
	float mouse_move_time;   // clock time of the last mouse movement or mouse-down
	float mouse_press_time;  // clock time of the last mouse-down
	int key_held;
	int unused_2;
	int lang;  // -1 unset, 0 English, 1 French, 2 German, 3 Italian, 4 Spanish, 5 Portuguese, 6 Korean
	int keylist_up = 1;       // preference "_keylist_up"
	int profile_on;           // the frame clock's profiler writes to the log while set
	int key_cmd_suppress;     // key commands are suppressed while set
	int prefs_found;          // preference "_prefs_found"
};

extern mnw_struct mnw;
