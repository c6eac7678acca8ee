// A test program: one real window of 800 by 600 holding a few widgets, driven from
// outside by real X events. It prints what the widgets left and exits. Start-up still
// asks for the language; the tests answer it with Return.
//   widget_demo field    a text field, a check box and Done
//   widget_demo select   the modified-file question; prints its answer
//   widget_demo abort    the two-button question; prints its answer
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/engine.h"
#include "graphics/oglp.h"
#include "runtime/hl_globals.h"
#include "shell/hl_init.h"
#include "shell/hl_mnw.h"
#include "widgets/btn.h"
#include "wizard/question_windows.h"

namespace {

std::string name;
int check = 0;

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
	BTN_enterstring(200, 300, &name, 256, "Name:", 340, 0);
	BTN_bool(200, 250, &check, "|Check", 0);
	if (BTN_action(400, 150, 0, 0, 1, "Done", "-")) {
		std::printf("name=");
		for (unsigned char c : name) std::printf("%02x", c);
		std::printf("\ncheck=%d\n", check);
		finish(0);
	}
}

void APP_handlemenu(int) {}

int main(int argc, char** argv)
{
	const std::string mode = argc > 1 ? argv[1] : "field";
	const char* start_args[] = {argv[0]};
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
	for (;;) DIDIVI_event_proc();
}
