// The widgets under real X events: the demo program on an X server of the test's own,
// clicked and typed at with xdotool (window pixels, y down).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <functional>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "support/test_env.h"
#include "support/xvfb_server.h"

using namespace kx_test;

#ifdef KX_WIDGET_DEMO
namespace {

constexpr int kSeconds = 40, kFindSeconds = 20;
// How long the program may take to show what an event did, and how often to look.
constexpr auto kStateWait = std::chrono::seconds(20);
constexpr auto kStatePoll = std::chrono::milliseconds(10);
const char kTitle[] = "Kestrix DVD Installer";
constexpr long kChooserWindow = 994, kQuestionWindow = 996, kTwoButtonWindow = 997, kOpenWindow = 998,
               kSaveWindow = 999;
constexpr long kPopupMenu = 1519, kNoMenu = -1;

std::vector<std::string> sandbox(const TempEnv& env, const std::string& display)
{
	::mkdir(env.path("run").c_str(), 0700);
	return {"XDG_RUNTIME_DIR=" + env.path("run"), "DISPLAY=" + display, "WAYLAND_DISPLAY=", "SDL_VIDEODRIVER=",
	        "HOME=" + env.path("home"), "XDG_CONFIG_HOME=" + env.path("home/.config"),
	        "XDG_DESKTOP_DIR=" + env.path("home/Desktop"), "TMPDIR=" + env.path("tmp"), "LIBGL_ALWAYS_SOFTWARE=1",
	        "KESTRIX_SCREEN_TRACE=" + env.path("trace.jsonl")};
}

// The numbers of the program's last frame line in its trace ("wind", "presses", ...).
using frame_state = std::map<std::string, long>;

frame_state last_frame_state(const std::string& trace)
{
	static const std::regex number("\"(\\w+)\": (-?[0-9]+)");
	frame_state state;
	// A line still being written is not read: only whole lines count.
	const size_t whole = trace.rfind('\n');
	if (whole == std::string::npos) return state;
	size_t end = whole;
	while (end > 0) {
		const size_t begin = trace.rfind('\n', end - 1);
		const size_t from = begin == std::string::npos ? 0 : begin + 1;
		const std::string line = trace.substr(from, end - from);
		if (line.find("\"wind\"") != std::string::npos) {
			for (std::sregex_iterator i(line.begin(), line.end(), number), e; i != e; ++i)
				state[(*i)[1]] = std::stol((*i)[2]);
			return state;
		}
		if (begin == std::string::npos) break;
		end = begin;
	}
	return state;
}

struct demo_run {
	TempEnv env;
	XvfbServer x{800, 600};
	std::string out = env.path("out.txt"), err = env.path("err.txt"), trace = env.path("trace.jsonl");
	int pid = -1;
	unsigned long window = 0;

	explicit demo_run(const std::string& mode, const std::string& folder = "")
	{
		if (!x.ok()) return;
		std::vector<std::string> argv = {KX_WIDGET_DEMO, mode};
		if (!folder.empty()) argv.push_back(folder);
		pid = start_program(argv, sandbox(env, x.display()), kSeconds, out, err);
		if (pid > 0) window = find_window(x.display(), kTitle, kFindSeconds);
		if (!window) return;
		// Start-up asks for the language at every start: Return takes English, once the
		// chooser has drawn a frame and the window has the keyboard.
		if (!wait_for("the language chooser", [](const frame_state& s) { return s.at("wind") == kChooserWindow; })) {
			window = 0;
			return;
		}
		xdo({"windowfocus", "--sync", std::to_string(window)});
		xdo({"key", "--clearmodifiers", "Return"});
		if (!wait_for("the chooser to go", [](const frame_state& s) { return s.at("wind") != kChooserWindow; }))
			window = 0;
	}
	int xdo(std::vector<std::string> args)
	{
		args.insert(args.begin(), "xdotool");
		return run_program(args, {"DISPLAY=" + x.display()}, 10).status;
	}
	frame_state now() const { return last_frame_state(read_file(trace)); }
	long count(const char* what) const
	{
		const frame_state s = now();
		const auto i = s.find(what);
		return i == s.end() ? 0 : i->second;
	}
	// Waits (bounded) until the program's last frame line satisfies `ok`.
	bool wait_for(const std::string& what, const std::function<bool(const frame_state&)>& ok)
	{
		const auto until = std::chrono::steady_clock::now() + kStateWait;
		for (;;) {
			const frame_state s = now();
			if (s.count("wind") && ok(s)) return true;
			if (std::chrono::steady_clock::now() >= until) break;
			std::this_thread::sleep_for(kStatePoll);
		}
		ADD_FAILURE() << "the program never showed " << what << "; its trace:\n"
		              << read_file(trace) << read_file(err);
		return false;
	}
	bool wait_window(long id)
	{
		return wait_for("window " + std::to_string(id), [id](const frame_state& s) { return s.at("wind") == id; });
	}
	bool wait_count(const char* what, long above)
	{
		return wait_for(std::string("one more frame with ") + what,
		                [&](const frame_state& s) { return s.count(what) && s.at(what) > above; });
	}
	void press_at(int px, int py)
	{
		xdo({"mousemove", "--window", std::to_string(window), std::to_string(px), std::to_string(py), "mousedown",
		     "1"});
	}
	// A click whose press and release each reach a frame of their own: the press is seen
	// (by `pressed`, or by a frame counting it) before the release goes, and the release
	// before anything after it.
	void click(int px, int py, const std::function<bool(const frame_state&)>& pressed = nullptr)
	{
		const long presses = count("presses"), releases = count("releases");
		press_at(px, py);
		if (pressed)
			wait_for("the press's effect", pressed);
		else
			wait_count("presses", presses);
		xdo({"mouseup", "1"});
		wait_count("releases", releases);
	}
	// The click that ends the program: nothing is left to see after it.
	void last_click(int px, int py)
	{
		xdo({"mousemove", "--window", std::to_string(window), std::to_string(px), std::to_string(py), "click", "1"});
	}
	// Two clicks at one point, the second press following the frame that took the first,
	// so that the program reads them as one double click.
	void double_click(int px, int py)
	{
		const long presses = count("presses"), doubles = count("doubles"), releases = count("releases");
		press_at(px, py);
		wait_count("presses", presses);
		EXPECT_EQ(count("doubles"), doubles) << "the first press alone counted as a double click";
		xdo({"mouseup", "1", "mousedown", "1"});
		wait_count("doubles", doubles);
		xdo({"mouseup", "1"});
		wait_count("releases", releases + 1);
	}
	// Each key is seen by a frame before the next goes.
	void keys(const std::vector<std::string>& names)
	{
		for (const std::string& k : names) {
			const long seen = count("keys");
			xdo({"key", "--clearmodifiers", k});
			wait_count("keys", seen);
		}
	}
	std::string finish()
	{
		const int status = wait_program(pid, kSeconds);
		EXPECT_EQ(status, 0) << read_file(err);
		return read_file(out);
	}
};

}  // namespace

TEST(WidgetDemo, TypingEditingAndTickingThroughRealEvents)
{
	demo_run d("field");
	ASSERT_TRUE(d.x.ok()) << d.x.why();
	ASSERT_NE(d.window, 0u) << read_file(d.err);
	d.click(250, 297);
	d.keys({"a", "b", "c", "BackSpace", "d", "Left", "Z", "shift+Left", "shift+Left", "Q", "Delete", "Home",
	        "ctrl+v"});
	// A key the keyboard has no key for reaches the program as nothing it takes, so no
	// frame shows it; the X server still keeps it ahead of the click that follows.
	d.xdo({"key", "--clearmodifiers", "eacute"});
	d.click(200, 347);
	d.last_click(400, 450);
	EXPECT_EQ(d.finish(), "name=6151\ncheck=1\n");
}

TEST(WidgetDemo, TheQuestionsAnswerTheirButtonsAndIgnoreReturn)
{
	{
		demo_run d("select");
		ASSERT_TRUE(d.x.ok()) << d.x.why();
		ASSERT_NE(d.window, 0u) << read_file(d.err);
		ASSERT_TRUE(d.wait_window(kQuestionWindow));
		d.last_click(146, 345);
		EXPECT_EQ(d.finish(), "result=2\n");
	}
	{
		demo_run d("abort");
		ASSERT_NE(d.window, 0u) << read_file(d.err);
		ASSERT_TRUE(d.wait_window(kTwoButtonWindow));
		d.keys({"Return"});
		d.last_click(146, 372);
		EXPECT_EQ(d.finish(), "result=0\n");
	}
}
TEST(WidgetDemo, APopUpListPicksThroughTheShellsMenu)
{
	demo_run d("popup");
	ASSERT_TRUE(d.x.ok()) << d.x.why();
	ASSERT_NE(d.window, 0u) << read_file(d.err);
	d.click(400, 297, [](const frame_state& s) { return s.at("menu") == kPopupMenu; });
	d.click(400, 321, [](const frame_state& s) { return s.at("menu") == kNoMenu; });
	d.last_click(400, 450);
	EXPECT_EQ(d.finish(), "selection=2\n");
}

TEST(WidgetDemo, TheBrowserOpensAFileInASubfolderAndSavesANamedOne)
{
	TempEnv tree;
	const std::string root = tree.path("tree");
	::mkdir(root.c_str(), 0755);
	::mkdir((root + "/sub").c_str(), 0755);
	write_file(root + "/sub/f.txt", "f\n");
	write_file(root + "/top.txt", "t\n");
	{
		demo_run d("browse-open", root);
		ASSERT_TRUE(d.x.ok()) << d.x.why();
		ASSERT_NE(d.window, 0u) << read_file(d.err);
		ASSERT_TRUE(d.wait_window(kOpenWindow));
		d.double_click(220, 347);
		d.last_click(400, 519);
		EXPECT_EQ(d.finish(), "result=1 path=sub/f.txt\n");
	}
	{
		demo_run d("browse-save", root);
		ASSERT_NE(d.window, 0u) << read_file(d.err);
		ASSERT_TRUE(d.wait_window(kSaveWindow));
		d.keys({"f", "l", "i", "g", "h", "t", "period", "s", "i", "t"});
		d.keys({"Return"});
		EXPECT_EQ(d.finish(), "result=1 path=Output/situations/flight.SIT\n");
	}
}
#endif
