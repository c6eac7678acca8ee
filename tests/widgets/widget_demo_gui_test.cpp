// The widgets under real X events: the demo program on an X server of the test's own,
// clicked and typed at with xdotool (window pixels, y down).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "support/test_env.h"
#include "support/xvfb_server.h"

using namespace kx_test;

#ifdef KX_WIDGET_DEMO
namespace {

constexpr int kSeconds = 40, kFindSeconds = 20;
const char kTitle[] = "Kestrix DVD Installer";

std::vector<std::string> sandbox(const TempEnv& env, const std::string& display)
{
	::mkdir(env.path("run").c_str(), 0700);
	return {"XDG_RUNTIME_DIR=" + env.path("run"), "DISPLAY=" + display, "WAYLAND_DISPLAY=", "SDL_VIDEODRIVER=",
	        "HOME=" + env.path("home"), "XDG_CONFIG_HOME=" + env.path("home/.config"),
	        "XDG_DESKTOP_DIR=" + env.path("home/Desktop"), "TMPDIR=" + env.path("tmp"), "LIBGL_ALWAYS_SOFTWARE=1"};
}

struct demo_run {
	TempEnv env;
	XvfbServer x{800, 600};
	std::string out = env.path("out.txt"), err = env.path("err.txt");
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
		// Start-up asks for the language at every start: Return takes English.
		xdo({"windowfocus", "--sync", std::to_string(window)});
		xdo({"sleep", "1"});
		keys({"Return"});
		xdo({"sleep", "0.5"});
	}
	int xdo(std::vector<std::string> args)
	{
		args.insert(args.begin(), "xdotool");
		return run_program(args, {"DISPLAY=" + x.display()}, 10).status;
	}
	// A click at a point of the window, then a short pause so it lands in its own frame.
	void click(int px, int py)
	{
		xdo({"mousemove", "--window", std::to_string(window), std::to_string(px), std::to_string(py)});
		xdo({"click", "1"});
		xdo({"sleep", "0.3"});
	}
	void double_click(int px, int py)
	{
		xdo({"mousemove", "--window", std::to_string(window), std::to_string(px), std::to_string(py)});
		xdo({"click", "--repeat", "2", "--delay", "80", "1"});
		xdo({"sleep", "0.3"});
	}
	void keys(const std::vector<std::string>& names)
	{
		for (const std::string& k : names) {
			xdo({"key", "--clearmodifiers", k});
			xdo({"sleep", "0.15"});
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
	        "ctrl+v", "eacute"});
	d.click(200, 347);
	d.click(400, 450);
	EXPECT_EQ(d.finish(), "name=6151\ncheck=1\n");
}

TEST(WidgetDemo, TheQuestionsAnswerTheirButtonsAndIgnoreReturn)
{
	{
		demo_run d("select");
		ASSERT_TRUE(d.x.ok()) << d.x.why();
		ASSERT_NE(d.window, 0u) << read_file(d.err);
		d.click(146, 345);
		EXPECT_EQ(d.finish(), "result=2\n");
	}
	{
		demo_run d("abort");
		ASSERT_NE(d.window, 0u) << read_file(d.err);
		d.keys({"Return"});
		d.click(146, 372);
		EXPECT_EQ(d.finish(), "result=0\n");
	}
}
TEST(WidgetDemo, APopUpListPicksThroughTheShellsMenu)
{
	demo_run d("popup");
	ASSERT_TRUE(d.x.ok()) << d.x.why();
	ASSERT_NE(d.window, 0u) << read_file(d.err);
	d.click(400, 297);
	d.click(400, 321);
	d.click(400, 450);
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
		d.double_click(220, 347);
		d.click(400, 519);
		EXPECT_EQ(d.finish(), "result=1 path=sub/f.txt\n");
	}
	{
		demo_run d("browse-save", root);
		ASSERT_NE(d.window, 0u) << read_file(d.err);
		d.xdo({"type", "--delay", "120", "flight.sit"});
		d.keys({"Return"});
		EXPECT_EQ(d.finish(), "result=1 path=Output/situations/flight.SIT\n");
	}
}
#endif
