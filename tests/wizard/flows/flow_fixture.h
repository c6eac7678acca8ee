#pragma once
// The web families as the user meets them: the real frame loop over a scripted window,
// the wizard drawn in a headless context, clicks at the points of the screen, and what
// the program showed read back from its screen trace. Two update servers serve releases
// the builder makes, reached through the proxy setting like the maker's host.
#include <sys/stat.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "engine/builder/make_installer.h"
#include "shell/hl_mnw.h"
#include "support/master_tree.h"
#include "support/scripted_window.h"
#include "support/update_server.h"
#include "runtime/hl_exception.h"
#include "wizard/main_engine.h"
#include "wizard/main_screens.h"
#include "wizard/main_steps.h"
#include "wizard/question_windows.h"
#include "../web/web_fixture.h"

namespace kx_flow_test {

using kx_test::ScriptedWindow;
using kx_wizard_test::kProduct;
using kx_web_test::expect_copy_matches_list;
using kx_web_test::installed_here;

constexpr int kScreenW = 800, kScreenH = 600;
// Every flow ends within these, whatever it waits for.
constexpr int kFrameBudget = 6000;
constexpr int kFlowSeconds = 90;
// Real time given to the servers and the scan's workers between frames.
constexpr std::chrono::microseconds kFramePause{1000};

const char* const kServers[2] = {"srv1.example", "srv2.example"};
constexpr char kServerPrefix[] = "/k9/";

// The wizard's buttons, at the middle of their images.
struct point {
	float x, y;
};
constexpr point kContinue = {wizard_continue_button.x + wizard_continue_button.w / 2,
                             wizard_continue_button.y + wizard_button_h / 2};
constexpr point kGoBack = {wizard_back_button.x + wizard_back_button.w / 2,
                           wizard_back_button.y + wizard_button_h / 2};
// The two-button question (window 997) on an 800 by 600 screen, and its buttons.
constexpr point kQuestionOrigin = {50, 197};
constexpr point kQuestionFirst = {96, 56};
constexpr point kQuestionSecond = {96, 31};
constexpr int kQuestionWindow = 997;

// The demo licence screen's check box.
constexpr point kLicenceBox = {230, 100};

// One line of the screen trace, with the few fields the flows read.
struct trace_line {
	std::string raw;
	std::string field(const std::string& key) const;  // a string's text, or the bare token
	bool has(const std::string& key) const { return raw.find("\"" + key + "\": ") != std::string::npos; }
};
std::vector<trace_line> read_trace(const std::string& file);

class FlowTest : public kx_web_test::WebTest {
protected:
	FlowTest();
	~FlowTest() override;

	// Runs frames of the frame loop until `done` holds after one; false at the time-out.
	bool frames_until(const std::function<bool()>& done, int seconds = kFlowSeconds);
	// Presses and releases the mouse at an interface point of window 0 in the next two frames.
	void click(point p);
	// Runs frames until `screen` is current and offers Continue, then presses it.
	bool continue_from(screen_fn screen);
	// The rectangle (interface units, bottom row first, RGBA) as the next frame drew it.
	std::vector<unsigned char> grab(int x, int y, int w, int h);
	// Starts the updater as the program does when given "-path" with `copy` (no final
	// slash, as a user types it).
	void start_updater(const std::string& copy);
	// The demo from its start to the destination screen, the licence box ticked by a click.
	void demo_to_the_destination();
	// Answers the next two-button question with the button at `p` when it opens.
	void answer_question_with(point p) { question_answer = p, question_pending = true; }

	// What the trace holds: every line, the lines of one screen, its last line.
	std::vector<trace_line> trace() const { return read_trace(trace_file); }
	std::vector<trace_line> lines_of(const std::string& screen) const;
	trace_line last_of(const std::string& screen) const;
	bool showed(const std::string& screen) const { return !lines_of(screen).empty(); }
	// The size block the trace carried last while `screen` was current, line by line
	// (empty when it carried none).
	std::vector<std::string> size_block_of(const std::string& screen) const;

	// Builds a release of the master tree and serves it from both servers; the old list
	// carries the history of the release before.
	void build_and_serve(int version, const std::string& old_list);
	// The server list naming both servers, with descriptions "Mirror|<host>{x".
	void serve_both_servers();
	// The list read last, unzipped from the served tree into `into` and read.
	std::string read_served_list(const std::string& into);
	// A copy of the list read last, made file by file from the master tree, with the
	// folders every copy holds.
	void copy_of_release(const std::string& copy);
	// The URL path of a file's archive on a server.
	static std::string archive_path(const std::string& master_path);

	std::string trace_file = env.path("trace.jsonl");
	kx_test::ScopedEnvVar trace_on{"KESTRIX_SCREEN_TRACE", trace_file.c_str()};
	ScriptedWindow win{kScreenW, kScreenH, kFrameBudget};
	ogl_swap_fn old_swap = nullptr;
	std::string master = env.path("master/");
	kx_test::MasterTree tree;
	point question_answer{};
	bool question_pending = false;
	int grab_rect[4] = {};
	bool grab_pending = false;
	std::vector<unsigned char> grabbed;
	int questions_answered = 0;
};

}  // namespace kx_flow_test
