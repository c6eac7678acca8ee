// The shell's alerts: the alert box in window 994, the language chooser, the system
// alert, and opening web addresses.
#include "shell/hl_alerts.h"

#include <GL/gl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "graphics/ogl_draw.h"
#include "graphics/oglp.h"
#include "platform/plat_url.h"
#include "platform/plat_window.h"
#include "runtime/cmdline.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_debug.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_math_ui.h"
#include "runtime/hl_mem.h"
#include "runtime/hl_product.h"
#include "runtime/hl_trace.h"
#include "runtime/http.h"
#include "runtime/rec_glext.h"
#include "shell/hl_init.h"
#include "shell/hl_mnw_about.h"
#include "shell/hl_shader_hook.h"
#include "shell/hl_mnw.h"
#include "widgets/btn.h"

namespace {

int in_alert = 0;

const char* const kSystemAlertTitle = "Kestrix DVD Installer";
const char* const kTraceMessageBox = "message_box";
const char* const kMemReason =
	"This is the dump_mem_stats call from the following code: if(type==t_exit || type == t_alert || "
	"recursive_error)";

// Alert box layout (interface units of window 994), beyond what the header gives.
constexpr int kTextColour = 43;
constexpr int kPanelStyle = 13;
constexpr float kPanelY = 35;
constexpr float kPanelFromEdge = -1;  // the panel's own margins
constexpr int kFillFrame = 1;
constexpr int kNoTitleBar = 21;
constexpr int kCentred = 1;

// The language chooser's choices.
struct lang_choice {
	int lang;
	float y;
	const char* label;
};
const lang_choice kChoices[] = {{0, 180, "|English"}, {1, 160, "|French"}, {2, 140, "|German"}};
constexpr float kChoiceLeftOfCentre = 25;
const char* const kChooserTitle = "Language/";
const char* const kAccept = "Accept";

// The GL state an interrupted frame may have left behind.
constexpr int kStaleErrors = 30;

// The nuke question (window 995).
constexpr int kNukeText1 = 611, kNukeText2 = 612, kNukeButton1 = 608, kNukeButton2 = 609, kNukeButton3 = 610;
constexpr float kNukeMargin = 20, kNukeTextFromTop = 40, kNukeRow1 = 60, kNukeRow2 = 25;

// What about_frame reports.
constexpr int kAboutClosed = 1;
constexpr int kAboutWebAddress = 2;

// go_to_URL's bounded copy.
constexpr std::size_t kBoundedText = 499;
const char* const kStringSource = "hl_string";
constexpr int kStringLine = 137;

std::string cut(const std::string& s)
{
	return s.size() > system_alert_text_max ? s.substr(0, system_alert_text_max) : s;
}

bool all_empty(const std::string& a, const std::string& b, const std::string& c, const std::string& d)
{
	return a.empty() && b.empty() && c.empty() && d.empty();
}

// Ends the process for a quitting alert. Once the finish-up has closed the log the
// workers may still run, so no static destructor may run under them: flush, _exit.
[[noreturn]] void quit_now()
{
	alert_exit_fn test_exit = DIDIVI_set_alert_exit(nullptr);
	DIDIVI_set_alert_exit(test_exit);
	if (test_exit) test_exit(1);
	std::cout.flush();
	std::cerr.flush();
	std::fflush(nullptr);
	_exit(1);
}

void reset_gl_after_interrupt()
{
	for (int i = 0; i < kStaleErrors; ++i)
		if (glGetError() == GL_NO_ERROR) break;
	OGL_nrml_colors();
	DIDIVI_unbind_shaders();
	if (glExt.framebuf_avail && glExt.glBindFramebufferEXT) glExt.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
	glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
	glDisable(GL_SCISSOR_TEST);
}

void alert_box(int return_window, const std::string* lines, int type, const std::string& where)
{
	reset_gl_after_interrupt();
	const float saved_x = mnw.mouse_x, saved_y = mnw.mouse_y;
	DIDIVI_startwind(wind_alert, 0);
	// The chooser shows no text of its own, only its choices and Accept.
	if (type == t_lang)
		UTL_trace_modal(wind_alert, {}, {kAccept});
	else
		UTL_trace_modal(wind_alert, {lines[0], lines[1], lines[2], lines[3]}, {stls.ui_str[stls_alert_button]});
	// The box's size is fixed: the texts are placed once, not in every frame.
	std::vector<std::string> texts(lines, lines + std::size(alert_line_y));
	if (type == t_exit) texts.push_back(where);
	const std::vector<alert_text_place> placed =
	    type == t_lang ? std::vector<alert_text_place>() : alert_layout(texts, mnw.wind_dx);
	while (mnw.wind_id == wind_alert) {
		OGL_plot_back_col();
		// The chooser's title is the window's before its frame is drawn, so the first
		// frame shows it too.
		if (type == t_lang) stls.wind_title = kChooserTitle;
		BTN_fillwin(kFillFrame, kNoTitleBar);
		float next_x = 0, next_y = 0;
		BTN_subwin(0, kPanelStyle, kPanelFromEdge, kPanelY, kPanelFromEdge, kPanelFromEdge, "", &next_x, &next_y);
		const float cx = mnw.wind_dx / 2;
		std::string label = stls.ui_str[stls_alert_button];
		if (type != t_lang) {
			for (const alert_text_place& p : placed)
				OGL_string_rows(kTextColour, cx, p.y, p.rows, charset_UI_diff_space, kCentred);
		} else {
			for (const auto& c : kChoices) BTN_is_int(cx - kChoiceLeftOfCentre, c.y, &mnw.lang, c.lang, c.label);
			label = kAccept;
		}
		const int fired = BTN_action(cx, alert_button_y, 0, 0, 1, label, "-");
		// The window's close button answers the box the way that changes nothing.
		if (fired || return_hit || quit_requested) {
			return_hit = 0;
			if (type == t_exit) break;
			DIDIVI_startwind(return_window, 0);
			mnw.mouse_x = saved_x;
			mnw.mouse_y = saved_y;
			break;
		}
		if (mnw.wind_id != wind_alert) break;
		DIDIVI_event_proc();
	}
}

}  // namespace

std::vector<alert_text_place> alert_layout(const std::vector<std::string>& texts, float window_width)
{
	const float wrap = alert_wrap_share * window_width, room = window_width - 2 * alert_row_margin;
	std::vector<std::string> shown = texts;
	std::vector<bool> spent(texts.size(), false);  // gave way as far as it can
	for (;;) {
		std::vector<alert_text_place> placed;
		float free_y = alert_line_y[0];  // where the next text may start at the highest
		for (size_t i = 0; i < texts.size(); ++i) {
			const float slot = i < std::size(alert_line_y) ? alert_line_y[i] : alert_location_y;
			alert_text_place p{shown[i], slot, OGL_rows_within(shown[i], wrap, room)};
			if (!p.rows.empty()) {
				if (p.y > free_y) p.y = free_y - ui_line_height;
				free_y = p.y - ui_line_height * float(p.rows.size());
			}
			placed.push_back(p);
		}
		// The rows that stand below the panel's floor, counted from the last text drawn.
		int over = 0;
		for (const alert_text_place& p : placed)
			if (!p.rows.empty())
				over = std::max(over, int(std::ceil((kPanelY - OGL_line_band(p.y, int(p.rows.size()) - 1).bottom) /
				                                    ui_line_height)));
		// The text with the most rows gives way by as many as the box lacks.
		size_t worst = texts.size();
		for (size_t i = 0; i < texts.size(); ++i)
			if (!spent[i] && (worst == texts.size() || placed[i].rows.size() > placed[worst].rows.size())) worst = i;
		if (over <= 0 || worst == texts.size()) return placed;
		const int rows = int(placed[worst].rows.size());
		const std::string fitted = OGL_fit_rows(texts[worst], {}, wrap, room, std::max(1, rows - over));
		if (OGL_rows_within(fitted, wrap, room).size() >= placed[worst].rows.size()) spent[worst] = true;
		shown[worst] = fitted;
	}
}

int DIDIVI_in_alert() { return in_alert; }
void DIDIVI_reset_alerts() { in_alert = 0; }

std::string STR_latin1_to_utf8(const std::string& text)
{
	std::string out;
	out.reserve(text.size());
	for (unsigned char c : text) {
		if (c < 0x80) {
			out += char(c);
		} else {
			out += char(0xC0 | (c >> 6));
			out += char(0x80 | (c & 0x3F));
		}
	}
	return out;
}

void DIDIVI_system_alert(const std::string& line1, const std::string& line2, const std::string& line3,
                         const std::string& line4)
{
	const std::string first = STR_latin1_to_utf8(cut(line1 + " " + line2));
	const std::string second = STR_latin1_to_utf8(cut(line3 + " " + line4));
	UTL_trace_modal(kTraceMessageBox, {cut(line1 + " " + line2), cut(line3 + " " + line4)}, {});
	if (plat_window().message_box(kSystemAlertTitle, first, second)) return;
	std::cerr << xer_escaped(first) << "\n" << xer_escaped(second) << std::endl;
}

void DIDIVI_shell_alert_presenter(int return_window, const std::string& line1, const std::string& line2,
                                  const std::string& line3, const std::string& line4, int type, const char* file,
                                  int line)
{
	const std::string where = DIDIVI_alert_location(file, line);
	if (type == t_exit) {
		if (FILE* crawl = UTL_open_stack_crawl()) {
			UTL_dump_stack(crawl, nullptr, nullptr);
			std::fclose(crawl);
		}
	}
	if (cmdline.has_option("--fps_test")) {
		DIDIVI_log_alert("", line1, line2, line3, line4, where);
		if (type == t_exit) quit_now();
		return;
	}
	const int recursive = in_alert;
	in_alert = 1;
	if (!ogl_inited || recursive) {
		DIDIVI_system_alert(line1, line2, line3, line4);
	} else if (!all_empty(line1, line2, line3, line4)) {
		const std::string lines[4] = {line1, line2, line3, line4};
		alert_box(return_window, lines, type, where);
	}
	if (type == t_alert || type == t_exit || recursive) {
		dump_mem_stats(kMemReason);
		DIDIVI_log_alert("\n", line1, line2, line3, line4, where);
	}
	if (type != t_exit && !recursive) {
		in_alert = 0;
		return;
	}
	DIDIVI_finishup(0);
	app_done = 1;
	quit_now();
}

int go_to_URL(std::string url)
{
	if (url.size() > kBoundedText)
		__DIDIVI_alert(0, "String too long!", url, "", "", t_exit, kStringSource, kStringLine);
	return plat_open_url(url);
}

int DIDIVI_nuke_alert(std::string name, int third_button)
{
	DIDIVI_startwind(wind_nuke, 0);
	for (;;) {
		OGL_plot_back_col();
		BTN_fillwin(kFillFrame, kNoTitleBar);
		OGL_string(kTextColour, kNukeMargin, mnw.wind_dy - kNukeTextFromTop,
		           stls.ui_str[kNukeText1] + name + " " + stls.ui_str[kNukeText2], mnw.wind_dx - 2 * kNukeMargin,
		           charset_UI_diff_space, 0);
		// Buttons sized to their labels: x is their centre, so half the label's width
		// past the edge they are placed by.
		auto half = [](const std::string& label) {
			float w = 0;
			for (unsigned char c : label) w += ui_char_advance[c];
			return w / 2;
		};
		const std::string& b1 = stls.ui_str[kNukeButton1];
		const std::string& b2 = stls.ui_str[kNukeButton2];
		const std::string& b3 = stls.ui_str[kNukeButton3];
		if (BTN_action(kNukeMargin + half(b1), kNukeRow1, 0, 0, 1, b1, "-")) {
			DIDIVI_startwind(wind_main, 0);
			return 1;
		}
		if (BTN_action(kNukeMargin + half(b2), kNukeRow2, 0, 0, 1, b2, "-")) {
			DIDIVI_startwind(wind_main, 0);
			return 2;
		}
		if (third_button && BTN_action(mnw.wind_dx - kNukeMargin - half(b3), kNukeRow2, 0, 0, 1, b3, "-")) return 3;
		if (mnw.wind_id != wind_nuke || quit_requested) return 3;
		DIDIVI_event_proc();
	}
}

void DIDIVI_about()
{
	about_state st;
	st.beta = stg.get_beta;
	about_begin(st);
	DIDIVI_startwind(wind_alert, 0);
	while (mnw.wind_id == wind_alert) {
		OGL_plot_back_col();
		const int answer = about_frame(st);
		if (answer == kAboutWebAddress) go_to_URL(maker_web_address);
		if (answer == kAboutClosed || return_hit || quit_requested) {
			return_hit = 0;
			DIDIVI_startwind(wind_main, 0);
			break;
		}
		DIDIVI_event_proc();
	}
	http.cancel(about_http_slot);
}
