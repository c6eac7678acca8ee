#pragma once
// The wizard engine's decisions, apart from drawing: which screen is called with which
// first-frame flag, where the buttons stand, what a click or a screen's result leads
// to, the progress bar's width and Quit. The per-frame hook draws around these:
//   if (!wizard_begin_frame(s, result)) return;   // no screen: app_done is set
//   ... draw s, hit-test the choices, Quit, Go Back and Continue into `clicks` ...
//   wizard_end_frame(s, result, clicks);
#include "wizard/main_globals.h"

// An image button of the elements atlas: position, atlas column and size.
struct wizard_button {
	float x, y, u, w;
};
constexpr float wizard_button_v = 46;  // atlas row of the normal image
constexpr float wizard_button_h = 22;
constexpr wizard_button wizard_quit_button = {30, 12, 1, 50};
constexpr wizard_button wizard_back_button = {560, 12, 54, 89};
constexpr wizard_button wizard_continue_button = {670, 12, 150, 100};
constexpr wizard_button wizard_continue_as_quit = {670, 12, 1, 50};

// The two panels: the step list's on the left, the screen's content on the right.
struct wizard_panel {
	float x, y, w, h;
};
constexpr wizard_panel wizard_step_panel = {10, 50, 190, 453};
constexpr wizard_panel wizard_content_panel = {210, 50, 580, 453};

// The step list: the first step at the top, one step a row.
constexpr float wizard_step_x = 30, wizard_step_top = 480, wizard_step_gap = 20, wizard_step_wrap = 180;

// The record's title, centred on its x, and its text from its corner, both wrapped to
// the content panel.
constexpr float wizard_title_x = 500, wizard_title_y = 480;
constexpr float wizard_text_x = 230, wizard_text_y = 440;
constexpr float wizard_content_wrap = 540;

// Choice button i: centre x, y, width.
constexpr float wizard_choice_x = 500;
constexpr float wizard_choice_top = 350;
constexpr float wizard_choice_step = 25;
constexpr float wizard_choice_w = 250;
inline float wizard_choice_y(int i) { return wizard_choice_top - wizard_choice_step * static_cast<float>(i); }

// Server list radio i of `count`: the first at the top, 40 units apart.
constexpr float wizard_server_x = 30;
constexpr float wizard_server_step = 40;
constexpr float wizard_server_base = 38;
inline float wizard_server_y(int i, int count)
{
	return wizard_server_step * static_cast<float>(count - i) + wizard_server_base;
}

// The progress bar: outline spanning x 240..760; the fill's width, or a negative value
// when the record asks for no bar.
constexpr float wizard_progress_left = 240;
constexpr float wizard_progress_width_full = 520;
// The trough's bar style and the line both bars are centred on, and where the record's
// progress text stands below them.
constexpr int wizard_progress_trough_style = 4;
constexpr float wizard_progress_y = 155;
constexpr float wizard_progress_text_x = 242, wizard_progress_text_y = 120;
float wizard_progress_width(float progress);

// The atlas row an image button shows: pressed while held over it, lit while hovered,
// else the given row. Only a hot button changes.
float interface_rect_row(float v, float h, int hot, int inside, int held);
// Whether (mx, my) lies on the button (edges included).
bool interface_rect_inside(float x, float y, float w, float h, float mx, float my);
// Draws one image button of the elements atlas (half alpha in style 2) and returns 1
// when the mouse went down on it this frame, whatever hot and style are: callers ignore
// a disabled button's click themselves. Drawn by main_image_button.cpp.
constexpr int wizard_disabled_style = 2;
int interface_rect(float x, float y, float u, float v, float w, float h, int hot, int style);

// What the user pressed this frame (choice -1: none).
struct wizard_clicks {
	int choice = -1;
	bool quit = false;
	bool back = false;
	bool next = false;
};

// Whether the separate Quit button is shown (not when Continue itself quits).
bool wizard_shows_quit(const wizard_screen& s);

// Calls the current screen with a fresh record; false (and app_done set) when there is
// none. The first-frame flag is 1 when the screen differs from the one called last.
// Writes the screen trace line.
bool wizard_begin_frame(wizard_screen& s, int& result);
// Applies the frame's clicks and the screen's result, in the engine's order: a choice,
// Quit (the cancel hook, then app_done), Go Back, Continue, then a non-zero result; the
// last one made wins, and a disabled button changes nothing.
void wizard_end_frame(const wizard_screen& s, int result, const wizard_clicks& clicks);
// Forgets the screen called last (a new program run begins).
void wizard_reset_engine();
