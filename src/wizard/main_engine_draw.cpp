// The wizard's frame as the user sees it: the per-frame hook draws the background, the
// panels, the step list and what the current screen filled in, and hands what was
// pressed to the engine's decisions (main_engine.cpp), which pick the next screen.
#include <algorithm>
#include <iterator>
#include <string>

#include "graphics/colr.h"
#include "graphics/oglp.h"
#include "graphics/tman.h"
#include "runtime/hl_globals.h"
#include "shell/hl_mnw.h"
#include "widgets/btn.h"
#include "wizard/app_hooks.h"
#include "wizard/main_engine.h"

namespace {

// Palette entries.
constexpr int kWhite = 103;  // set to white every frame: the images keep their own colours
constexpr int kTextColour = 12;
constexpr int kStepColour = 45;
constexpr int kCurrentStepColour = 65;
constexpr int kServerColour = 45;

constexpr int kCharset = charset_UI_diff_space;
constexpr int kAlignLeft = 0;
constexpr int kAlignCentre = 1;

// The background is addressed as 1024 texels square.
constexpr float kBackgroundTexels = 1024;

constexpr int kPanelStyle = 20;

// Choice buttons: not down, showing the press, no side text.
constexpr int kChoiceMode = 1;
constexpr const char* kNoSideText = "-";

// The progress bar's fill (a BTN_frame1 style).
constexpr int kFillStyle = 5;

// The server list's descriptions beside their radio buttons.
constexpr float kServerTextX = 50, kServerWrap = 130;

void set_white() { colr.assign(kWhite, 1.0f, 1.0f, 1.0f); }

void draw_background()
{
	const float w = float(mnw.res_x), h = float(mnw.res_y);
	const float s = w / kBackgroundTexels, t = h / kBackgroundTexels;
	OGL_2dquad(t_background, kWhite, 1.0f, 0, h, 0, t, w, h, s, t, w, 0, s, 0, 0, 0, 0, 0, 1, al_none);
}

void draw_steps()
{
	const size_t n = std::min(step_names.size(), step_funcs.size());
	for (size_t i = 0; i < n; ++i) {
		const int colour = step_funcs[i] == g_wizard ? kCurrentStepColour : kStepColour;
		OGL_string(colour, wizard_step_x, wizard_step_top - wizard_step_gap * float(i), step_names[i],
		           wizard_step_wrap, kCharset, kAlignLeft);
	}
}

void draw_progress(const wizard_screen& s)
{
	const float b = wizard_progress_width(s.progress);
	if (b < 0) return;
	// The bar stands at the same place on screen whatever window is current.
	const float ox = mnw.dialog_x, oy = mnw.dialog_y;
	const float mid = wizard_progress_left + wizard_progress_width_full / 2;
	BTN_frame1(wizard_progress_trough_style, mid - ox, wizard_progress_y - oy, wizard_progress_width_full, 0);
	BTN_frame1(kFillStyle, wizard_progress_left + b / 2 - ox, wizard_progress_y - oy, b, 0);
	OGL_string(kTextColour, wizard_progress_text_x, wizard_progress_text_y, s.progress_text,
	           wizard_progress_width_full, kCharset, kAlignLeft);
}

void draw_servers()
{
	const int count = std::min(stg.server_count, int(std::size(server_desc)));
	for (int i = 0; i < count; ++i) {
		const float y = wizard_server_y(i, count);
		BTN_is_int(wizard_server_x, y, &stg.server_index, i, "");
		std::string before, mid, tail;
		BTN_expand_label(server_desc[i], &before, &mid, &tail);
		OGL_string(kServerColour, kServerTextX, y, mid, kServerWrap, kCharset, kAlignLeft);
	}
}

int image_button(const wizard_button& b, int enabled)
{
	return interface_rect(b.x, b.y, b.u, wizard_button_v, b.w, wizard_button_h, enabled ? 1 : 0,
	                      enabled ? 0 : wizard_disabled_style);
}

}  // namespace

void APP_update()
{
	set_white();
	draw_background();
	for (const wizard_panel& p : {wizard_step_panel, wizard_content_panel})
		BTN_frame2(kPanelStyle, p.x, p.y, p.w, p.h, "");
	draw_steps();

	wizard_screen s;
	int result = 0;
	if (!wizard_begin_frame(s, result)) return;

	OGL_string(kTextColour, wizard_title_x, wizard_title_y, s.title, wizard_content_wrap, kCharset, kAlignCentre);
	OGL_string(kTextColour, wizard_text_x, wizard_text_y, s.text, wizard_content_wrap, kCharset, kAlignLeft);

	wizard_clicks clicks;
	for (size_t i = 0; i < s.choice_labels.size(); ++i)
		if (BTN_action(wizard_choice_x, wizard_choice_y(int(i)), wizard_choice_w, 0, kChoiceMode, s.choice_labels[i],
		               kNoSideText))
			clicks.choice = int(i);

	draw_progress(s);
	if (s.show_servers && stg.server_count >= 1) draw_servers();

	if (wizard_shows_quit(s)) clicks.quit = image_button(wizard_quit_button, 1) != 0;
	clicks.back = image_button(wizard_back_button, s.back_screen != nullptr) != 0;
	const wizard_button& next = wizard_shows_quit(s) ? wizard_continue_button : wizard_continue_as_quit;
	clicks.next = image_button(next, s.next_screen != nullptr) != 0;
	// The window's close button is the Quit button of whatever screen is up: where
	// Continue itself quits, it is that Continue.
	if (quit_requested) {
		if (wizard_shows_quit(s))
			clicks.quit = true;
		else
			clicks.next = true;
	}

	wizard_end_frame(s, result, clicks);
}
