// The engine's questions: each runs its own loop, one frame of the shell a pass, until
// the user answers or the window goes away. A window that goes away, or the program's
// window being closed, answers "cancel", which no caller takes as leave to delete.
#include "wizard/question_windows.h"

#include <algorithm>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/engine_globals.h"
#include "engine/install.h"
#include "graphics/oglp.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_string.h"
#include "shell/hl_mnw.h"
#include "widgets/btn.h"
#include "widgets/butn_geometry.h"

namespace {

constexpr int kNoAnswer = 3;
constexpr int kTextColour = 43;
constexpr int kFrameFlag = 1, kFrameKind = 21;

const char* const kNoSideText = "-";

void draw_text(const question_spot& at, const std::string& s, float wrap)
{
	OGL_string(kTextColour, at.x, at.y, s, wrap, charset_UI_diff_space, 0);
}

// The rows of a text holding paths from outside, kept to `rows` rows of `window` less
// `inset`: the paths give way first. Placed once, before the loop: the question
// windows' sizes are fixed.
std::vector<std::string> kept_rows(int window, float inset, const std::string& s, const std::vector<std::string>& names,
                                   int rows)
{
	float width = 0, height = 0;
	DIDIVI_fixed_window_size(window, width, height);
	const float wrap = width - inset;
	return OGL_rows_within(OGL_fit_rows(s, names, wrap, wrap, rows), wrap, wrap);
}

void draw_rows(const question_spot& at, const std::vector<std::string>& rows)
{
	OGL_string_rows(kTextColour, at.x, at.y, rows, charset_UI_diff_space, 0);
}

// The rows a text at `at` has above a push button's bar.
int rows_above(const question_spot& at, const question_button& b, const std::string& label)
{
	const BTN_frame_geometry bar = BTN_frame1_geometry(btn_bar_button_up, b.x, b.y, BTN_action_width(b.width, label));
	float top = b.y;
	for (const BTN_quad& q : bar.quads) top = std::max({top, q.y1, q.y2});
	return OGL_rows_above(at.y, top);
}

// Answers with `result` after putting window 0 back.
int answer(int result)
{
	DIDIVI_startwind(wind_main, 0);
	return result;
}

// Runs the question's loop: `pass` draws one pass and returns an answer, or -1 while
// the user has not answered.
template <class Pass>
int run_question(int window, Pass pass)
{
	DIDIVI_startwind(window, 0);
	while (mnw.current_window == window) {
		if (quit_requested) return answer(kNoAnswer);
		OGL_plot_back_col();
		BTN_fillwin(kFrameFlag, kFrameKind);
		const int r = pass();
		if (r >= 0) return answer(r);
		DIDIVI_event_proc();
	}
	return kNoAnswer;
}

}  // namespace

int question_select_alert(std::string path, int gone)
{
	const select_alert_texts_t t = select_alert_texts(gone);
	const std::string labels[] = {t.button1, t.button2, t.button4, t.button5, t.button3};
	const std::vector<std::string> path_rows = kept_rows(wind_modified_file, select_alert_wrap_inset,
	                                                    STR_utf8_to_font(path), {}, select_alert_path_rows);
	return run_question(wind_modified_file, [&] {
		const float wrap = mnw.window_width - select_alert_wrap_inset;
		draw_text(select_alert_first, t.first_line, wrap);
		draw_rows(select_alert_path, path_rows);
		draw_text(select_alert_third, t.third_line, wrap);
		for (size_t i = 0; i < std::size(select_alert_buttons); ++i) {
			const question_button& b = select_alert_buttons[i];
			if (BTN_action(b.x, b.y, b.width, 0, 1, labels[i], kNoSideText)) return b.result;
		}
		return -1;
	});
}

int question_abort_alert(std::string message, std::string label1, std::string text1, std::string label2,
                         std::string text2)
{
	const std::string labels[] = {label1, label2};
	// The message names files by their paths in the copy or on the disc.
	const std::vector<std::string> message_rows =
	    kept_rows(wind_two_button, abort_alert_message_inset, message, {dest_dir_path, dvd_path},
	              rows_above(abort_alert_message, abort_alert_buttons[0], labels[0]));
	return run_question(wind_two_button, [&] {
		draw_rows(abort_alert_message, message_rows);
		draw_text(abort_alert_text1, text1, mnw.window_width - abort_alert_text_inset);
		draw_text(abort_alert_text2, text2, mnw.window_width - abort_alert_text_inset);
		for (size_t i = 0; i < std::size(abort_alert_buttons); ++i) {
			const question_button& b = abort_alert_buttons[i];
			if (BTN_action(b.x, b.y, b.width, 0, 1, labels[i], kNoSideText)) return b.result;
		}
		return -1;
	});
}

void install_question_windows()
{
	ENG_set_select_alert_hook(question_select_alert);
	ENG_set_abort_alert_hook(question_abort_alert);
}
