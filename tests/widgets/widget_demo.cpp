// A test program: one real window of 800 by 600 holding a few widgets, driven from
// outside by real X events. It prints what the widgets left and exits. Start-up still
// asks for the language; the tests answer it with Return.
//   widget_demo field    a text field, a check box and Done
//   widget_demo select   the modified-file question; prints its answer
//   widget_demo abort    the two-button question; prints its answer
//   widget_demo browse-open DIR, browse-save DIR
//                        the file browser from DIR; prints its result and path
//   widget_demo popup    a pop-up list and Done; prints the selection
// With KESTRIX_SCREEN_TRACE=<file> set it writes a line to the trace at the end of every
// frame whose state differs from the last one written: the window, how many frames saw a
// press, a release, a key, a double click, the open menu and what the widgets hold. A
// driver waits for these before its next event, instead of guessing how long a frame takes.
// The demo's clock counts frames, not seconds: whether two presses make a double click, or a
// held button repeats, then depends on how many frames lay between them and not on how busy
// the machine was while a driver looked at the trace.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "engine/engine.h"
#include "graphics/oglp.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_trace.h"
#include "runtime/xtim.h"
#include "shell/hl_init.h"
#include "shell/hl_mnw.h"
#include "widgets/btn.h"
#include "wizard/question_windows.h"

namespace {

std::string name;
int check = 0;
int selection = 0;
bool popup_mode = false;

// Each frame is this many microseconds of the clock: a double click may then be more than a
// hundred frames apart.
constexpr uint64_t kFrameMicros = 1000;
// From the second frame on the clock stands this far past its start, so that the first
// press, compared with the press time nothing has set yet, is no double click.
constexpr uint64_t kHeadStartMicros = 1000000;

uint64_t frame_clock()
{
	const auto frame = static_cast<uint64_t>(xtim.frame_count);
	return frame == 0 ? 0 : kHeadStartMicros + frame * kFrameMicros;
}

// Frames that saw each kind of input so far: they only grow, so a driver can wait for
// "one more than before" without caring how many frames passed meanwhile.
struct seen_counts {
	long presses = 0, releases = 0, keys = 0, doubles = 0;
};
seen_counts seen;
std::string last_traced;

std::string hex_of(const std::string& text)
{
	std::string out;
	char two[3];
	for (unsigned char c : text) {
		std::snprintf(two, sizeof two, "%02x", c);
		out += two;
	}
	return out;
}

// Runs after the frame's drawing, before its swap: what it writes is what this frame did.
int trace_frame()
{
	if (mnw.mouse_down) ++seen.presses;
	if (mnw.mouse_up) ++seen.releases;
	if (mnw.key_event) ++seen.keys;
	if (mnw.double_click) ++seen.doubles;
	const std::string fields = ", \"wind\": " + std::to_string(mnw.wind_id) +
	                           ", \"presses\": " + std::to_string(seen.presses) +
	                           ", \"releases\": " + std::to_string(seen.releases) +
	                           ", \"keys\": " + std::to_string(seen.keys) +
	                           ", \"doubles\": " + std::to_string(seen.doubles) +
	                           ", \"menu\": " + std::to_string(mnw.open_menu) +
	                           ", \"check\": " + std::to_string(check) +
	                           ", \"selection\": " + std::to_string(selection) + ", \"name\": \"" + hex_of(name) +
	                           "\"";
	if (fields != last_traced) {
		last_traced = fields;
		UTL_trace_write(fields);
	}
	return 0;  // the frame loop swaps as always
}

[[noreturn]] void finish(int status)
{
	std::fflush(stdout);
	std::_Exit(status);
}

}  // namespace

// The frame loop's application hook: the demo's one screen.
void APP_update()
{
	if (quit_requested) finish(0);
	OGL_plot_back_col();
	if (popup_mode) {
		BTN_textlist(400, 300, &selection, "Alpha-Beta-Gamma", "");
		if (BTN_action(400, 150, 0, 0, 1, "Done", "-")) {
			std::printf("selection=%d\n", selection);
			finish(0);
		}
		return;
	}
	BTN_enterstring(200, 300, &name, 256, "Name:", 340, 0);
	BTN_bool(200, 250, &check, "|Check", 0);
	if (BTN_action(400, 150, 0, 0, 1, "Done", "-")) {
		std::printf("name=%s\ncheck=%d\n", hex_of(name).c_str(), check);
		finish(0);
	}
}

void APP_handlemenu(int) {}

int main(int argc, char** argv)
{
	const std::string mode = argc > 1 ? argv[1] : "field";
	const char* start_args[] = {argv[0]};
	xtim.set_time_source(frame_clock);
	if (UTL_trace_on()) DIDIVI_set_frame_recorder(trace_frame);
	DIDIVI_init(1, start_args);
	stls.ui_str[stls_alert_button] = "OK";
	install_question_windows();
	if (mode == "select") {
		std::printf("result=%d\n", select_alert("Resources/x.txt", 0));
		finish(0);
	}
	if (mode == "abort") {
		std::printf("result=%d\n", abort_alert("Message", "One", "first", "Two", "second"));
		finish(0);
	}
	if (mode == "browse-open" || mode == "browse-save") {
		if (argc < 3 || chdir(argv[2]) != 0) finish(2);
		std::string path;
		const int r = mode == "browse-open" ? BTN_opensave(998, 0, &path) : BTN_opensave(999, 9, &path);
		std::printf("result=%d path=%s\n", r, path.c_str());
		finish(0);
	}
	popup_mode = mode == "popup";
	for (;;) DIDIVI_event_proc();
}
