#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <string>

#include "runtime/hl_dialogs.h"
#include "runtime/hl_globals.h"
#include "support/scripted_window.h"
#include "support/test_env.h"

namespace {

// Fake choosers on a PATH of their own: each writes its arguments, one a line, into
// args.txt and answers from answer.txt, with errors.txt on its standard error and the
// exit status in status.txt. PATH holds only the fakes, so a real zenity is never found.
class DialogTest : public ::testing::Test {
protected:
	DialogTest() : path("PATH", env.path("bin").c_str()), named("KESTRIX_FOLDER_DIALOG", "")
	{
		::mkdir(env.path("bin").c_str(), 0755);
		xer.open(env.path("log.txt"));
		answer("/chosen/folder\n", 0);
	}
	~DialogTest() override { xer.close(); }

	std::string make_tool(const std::string& name)
	{
		const std::string p = env.path("bin/" + name);
		kx_test::write_file(p, "#!/bin/sh\n"
		                       ": > '" + env.path("args.txt") + "'\n"
		                       "printf '%s' \"${0##*/}\" > '" + env.path("who.txt") + "'\n"
		                       "for a in \"$@\"; do printf '%s\\n' \"$a\" >> '" + env.path("args.txt") + "'; done\n"
		                       "/bin/cat '" + env.path("answer.txt") + "'\n"
		                       "/bin/cat '" + env.path("errors.txt") + "' >&2\n"
		                       "read s < '" + env.path("status.txt") + "'\n"
		                       "exit $s\n");
		::chmod(p.c_str(), 0755);
		return p;
	}
	// What the tool writes on its standard output and error, and its exit status.
	void answer(const std::string& text, int status, const std::string& errors = "")
	{
		kx_test::write_file(env.path("answer.txt"), text);
		kx_test::write_file(env.path("errors.txt"), errors);
		kx_test::write_file(env.path("status.txt"), std::to_string(status) + "\n");
	}
	std::string args() { return kx_test::read_file(env.path("args.txt")); }
	std::string who() { return kx_test::read_file(env.path("who.txt")); }
	// What the log took since the last look.
	std::string log()
	{
		xer.close();
		const std::string t = kx_test::read_file(env.path("log.txt"));
		xer.open(env.path("log.txt"));
		return t;
	}
	int choose(int kind, const char* start, char* buf)
	{
		return GetFilePathFromUser(kind, "Pick a folder to install Kestrix 9 into.", "Select", 1, start, buf);
	}

	kx_test::TempEnv env;
	kx_test::ScopedEnvVar path;
	kx_test::ScopedEnvVar named;
	kx_test::AlertRecorder alerts;
	char buf[kDialogBuffer] = "untouched";
};

constexpr char kChooserFailed[] = "The folder chooser could not be opened.";

TEST_F(DialogTest, ZenityPicksAFolderFromAnExistingStart)
{
	const std::string zenity = make_tool("zenity");
	const std::string start = env.root();
	EXPECT_EQ(choose(2, start.c_str(), buf), 1);
	EXPECT_STREQ(buf, "/chosen/folder");
	// Only options that zenity 3.44 takes for its chooser: it refuses --ok-label there.
	EXPECT_EQ(args(), "--file-selection\n--directory\n--title=Pick a folder to install Kestrix 9 into.\n"
	                  "--filename=" + start + "\n");
	// A start folder that does not exist is left to the tool.
	EXPECT_EQ(choose(2, env.path("missing/").c_str(), buf), 1);
	EXPECT_EQ(args().find("--filename"), std::string::npos);
	EXPECT_EQ(choose(2, nullptr, buf), 1);
	EXPECT_EQ(args().find("--filename"), std::string::npos);
}

TEST_F(DialogTest, SavingAndOpeningAskForFiles)
{
	make_tool("zenity");
	std::strcpy(buf, "flight.sit");
	answer("/a/flight.sit\n", 0);
	EXPECT_EQ(choose(1, env.root().c_str(), buf), 1);
	EXPECT_STREQ(buf, "/a/flight.sit");
	EXPECT_NE(args().find("--save\n"), std::string::npos);
	EXPECT_NE(args().find("--filename=" + env.root() + "flight.sit\n"), std::string::npos);
	EXPECT_EQ(choose(0, nullptr, buf), 1);
	EXPECT_EQ(args().find("--save"), std::string::npos);
	EXPECT_EQ(args().find("--directory"), std::string::npos);
}

TEST_F(DialogTest, ACancelIsQuietAndAFailureIsOneWarningAndOneAlert)
{
	const std::string zenity = make_tool("zenity");
	answer("/ignored\n", 1, "Gtk-Message: a cancel\n");
	EXPECT_EQ(choose(2, nullptr, buf), 0);
	EXPECT_STREQ(buf, "untouched");
	EXPECT_EQ(log(), "");
	EXPECT_TRUE(alerts.alerts().empty());

	// Any other status: the first line of its errors that says something.
	answer("/ignored\n", 255, "\n  \n--ok-label is not supported for this dialog\nmore\n");
	EXPECT_EQ(choose(2, nullptr, buf), 0);
	EXPECT_STREQ(buf, "untouched");
	EXPECT_EQ(log(), "WARNING: the folder dialog " + zenity +
	                     " failed with status 255: --ok-label is not supported for this dialog\n");
	ASSERT_EQ(alerts.alerts().size(), 1u);
	EXPECT_EQ(alerts.alerts()[0].line1, kChooserFailed);
	EXPECT_EQ(alerts.alerts()[0].line2, zenity);
	EXPECT_EQ(alerts.alerts()[0].type, t_alert);

	// A program that cannot be started.
	alerts.clear();
	const std::string missing = env.path("bin/no-such-dialog");
	kx_test::ScopedEnvVar use("KESTRIX_FOLDER_DIALOG", missing.c_str());
	EXPECT_EQ(choose(2, nullptr, buf), 0);
	EXPECT_STREQ(buf, "untouched");
	EXPECT_EQ(log().find("WARNING: the folder dialog " + missing + " could not be started: "), 0u);
	EXPECT_EQ(alerts.alerts().size(), 1u);
}

TEST_F(DialogTest, AHelperThatKeepsTheChoosersPipesOpenDoesNotHoldTheCaller)
{
	const std::string p = env.path("bin/zenity");
	kx_test::write_file(p, "#!/bin/sh\n/bin/sleep 20 &\necho $! > '" + env.path("helper.pid") + "'\necho /answered\n");
	::chmod(p.c_str(), 0755);
	const auto before = std::chrono::steady_clock::now();
	EXPECT_EQ(choose(2, nullptr, buf), 1);
	EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(10));
	EXPECT_STREQ(buf, "/answered");
	const int helper = std::atoi(kx_test::read_file(env.path("helper.pid")).c_str());
	if (helper > 0) ::kill(helper, SIGTERM);
}

TEST_F(DialogTest, TheChoosersOfOneKeyOpenInTheLastFolderAnsweredIn)
{
	make_tool("zenity");
	const std::string picked = env.path("picked");
	const std::string own = env.path("own/");
	::mkdir(picked.c_str(), 0755);
	::mkdir(own.c_str(), 0755);
	answer(picked + "\n", 0);
	EXPECT_EQ(choose(2, nullptr, buf), 1);
	// A chooser of the same key without a folder of its own opens there.
	EXPECT_EQ(choose(2, nullptr, buf), 1);
	EXPECT_NE(args().find("--filename=" + picked + "/\n"), std::string::npos) << args();
	EXPECT_EQ(choose(2, env.path("gone/").c_str(), buf), 1);
	EXPECT_NE(args().find("--filename=" + picked + "/\n"), std::string::npos) << args();
	// Its own folder comes first; another key remembers nothing yet.
	EXPECT_EQ(choose(2, own.c_str(), buf), 1);
	EXPECT_NE(args().find("--filename=" + own + "\n"), std::string::npos) << args();
	EXPECT_EQ(GetFilePathFromUser(2, "m", "Select", 2, nullptr, buf), 1);
	EXPECT_EQ(args().find("--filename"), std::string::npos) << args();
	// A cancel changes nothing; a file remembers the folder it is in.
	answer("", 1);
	EXPECT_EQ(choose(2, own.c_str(), buf), 0);
	answer(own + "flight.sit\n", 0);
	EXPECT_EQ(choose(0, nullptr, buf), 1);
	EXPECT_EQ(choose(2, nullptr, buf), 1);
	EXPECT_NE(args().find("--filename=" + own + "\n"), std::string::npos) << args();
}

// A path longer than the installer holds is said, never taken for a cancel: the caller
// keeps what it had, and the user learns why the folder was not taken.
TEST_F(DialogTest, OneFinalLineFeedIsCutTheLongestPathFitsAndALongerOneIsSaid)
{
	make_tool("zenity");
	answer("/a/b/\n", 0);  // a folder given with its slash comes back without it
	EXPECT_EQ(choose(2, nullptr, buf), 1);
	EXPECT_STREQ(buf, "/a/b");
	answer("/a/b\n\n", 0);
	EXPECT_EQ(choose(2, nullptr, buf), 1);
	EXPECT_STREQ(buf, "/a/b\n");
	const std::string longest = "/" + std::string(kDialogPathMax - 1, 'x');
	answer(longest + "\n", 0);
	EXPECT_EQ(choose(2, nullptr, buf), 1);
	EXPECT_EQ(std::string(buf), longest);
	EXPECT_TRUE(alerts.alerts().empty());
	log();
	for (const std::string& longer : {longest + "y", longest + std::string(100, 'y')}) {
		alerts.clear();
		answer(longer + "\n", 0);
		EXPECT_EQ(choose(2, nullptr, buf), 0);
		EXPECT_STREQ(buf, "");
		ASSERT_EQ(alerts.alerts().size(), 1u);
		EXPECT_EQ(alerts.alerts()[0].type, t_alert);
		EXPECT_EQ(alerts.alerts()[0].line1, "The chosen folder's path is too long for the installer: it may hold at "
		                                    "most 2046 bytes. Please choose a folder with a shorter path.");
		EXPECT_EQ(log(), "WARNING: the folder dialog answered a path longer than 2046 bytes, more than the installer "
		                 "can hold.\n");
	}
}

TEST_F(DialogTest, TextsAreCutTo255BytesAndSentAsUtf8)
{
	make_tool("zenity");
	const std::string message = std::string(299, 'm') + "\xe9";
	EXPECT_EQ(GetFilePathFromUser(2, message, "Choisir \xe9", 1, nullptr, buf), 1);
	EXPECT_NE(args().find("--title=" + std::string(255, 'm') + "\n"), std::string::npos);
	EXPECT_EQ(args().find("Choisir"), std::string::npos);  // no chooser takes a button label
}

TEST_F(DialogTest, TheNamedProgramComesFirstThenZenityThenKdialog)
{
	make_tool("zenity");
	make_tool("kdialog");
	const std::string fake = make_tool("my-dialog");
	EXPECT_EQ(choose(2, nullptr, buf), 1);
	EXPECT_EQ(who(), "zenity");
	{
		// The named program takes zenity's arguments.
		kx_test::ScopedEnvVar use("KESTRIX_FOLDER_DIALOG", fake.c_str());
		EXPECT_EQ(choose(2, nullptr, buf), 1);
		EXPECT_EQ(who(), "my-dialog");
		EXPECT_EQ(args().substr(0, 29), "--file-selection\n--directory\n");
	}
	::unlink(env.path("bin/zenity").c_str());
	EXPECT_EQ(choose(2, nullptr, buf), 1);
	EXPECT_EQ(who(), "kdialog");
}

TEST_F(DialogTest, KdialogWhenThereIsNoZenity)
{
	make_tool("kdialog");
	EXPECT_EQ(choose(2, env.root().c_str(), buf), 1);
	EXPECT_STREQ(buf, "/chosen/folder");
	EXPECT_EQ(args(), "--title\nPick a folder to install Kestrix 9 into.\n--getexistingdirectory\n" + env.root() + "\n");
}

TEST_F(DialogTest, NeitherToolIsOneWarningAndOneAlert)
{
	EXPECT_EQ(choose(2, nullptr, buf), 0);
	EXPECT_STREQ(buf, "untouched");
	const std::string l = log();
	EXPECT_EQ(l.rfind("WARNING: ", 0), 0u);
	EXPECT_EQ(std::count(l.begin(), l.end(), '\n'), 1);
	ASSERT_EQ(alerts.alerts().size(), 1u);
	EXPECT_EQ(alerts.alerts()[0].line1, kChooserFailed);
}

int g_pumps = 0;
int g_drops = 0;
std::string g_go;  // the file that lets the slow chooser answer

TEST_F(DialogTest, TheWindowIsServedWhileTheChooserIsOpen)
{
	const std::string p = env.path("bin/zenity");
	kx_test::write_file(p, "#!/bin/sh\nread x < /dev/null\nwhile :; do\n  [ -e '" + env.path("go") +
	                           "' ] && break\ndone\necho /slow\n");
	::chmod(p.c_str(), 0755);
	g_pumps = g_drops = 0;
	g_go = env.path("go");
	const auto old_pump = HL_set_dialog_pump([] {
		if (++g_pumps == 3) kx_test::write_file(g_go, "");
	});
	const auto old_drop = HL_set_dialog_drop_input([] { ++g_drops; });
	EXPECT_EQ(choose(2, nullptr, buf), 1);
	HL_set_dialog_pump(old_pump);
	HL_set_dialog_drop_input(old_drop);
	EXPECT_STREQ(buf, "/slow");
	EXPECT_GE(g_pumps, 3);
	EXPECT_EQ(g_drops, 1);
}

// Waits (5 s at most) until the file holds `want`.
std::string wait_for(const std::string& file, const std::string& want)
{
	std::string got;
	for (int i = 0; i < 500; ++i) {
		got = kx_test::read_file(file);
		if (got == want) break;
		usleep(10000);
	}
	return got;
}

TEST_F(DialogTest, TheProgressWindowIsOneZenityFedLineByLine)
{
	const std::string p = env.path("bin/zenity");
	kx_test::write_file(p, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> '" + env.path("p_args.txt") +
	                           "'; done\nwhile IFS= read -r l; do printf '%s\\n' \"$l\" >> '" + env.path("p_in.txt") +
	                           "'; done\n");
	::chmod(p.c_str(), 0755);
	float half = 0.5f, unknown = -1.0f;
	EXPECT_EQ(ShowProgressMessage("Copying \xe9", &half), 0);
	EXPECT_EQ(ShowProgressMessage("Wait\nplease", &unknown), 0);
	EXPECT_EQ(ShowProgressMessage("Done", nullptr), 0);
	EXPECT_EQ(wait_for(env.path("p_in.txt"), "# Copying \xc3\xa9\n50\n# Wait please\npulsate:true\n# Done\n"),
	          "# Copying \xc3\xa9\n50\n# Wait please\npulsate:true\n# Done\n");
	EXPECT_EQ(kx_test::read_file(env.path("p_args.txt")),
	          "--progress\n--title=Kestrix DVD Installer\n--text=Copying \xc3\xa9\n--no-cancel\n");
}

TEST(EndianFlip, WorksOnSixteenAndThirtyTwoBits)
{
	short s = 1;
	EXPECT_EQ(EndianFlipShort(&s), 256);
	EXPECT_EQ(s, 256);
	long l = 1;
	EXPECT_EQ(EndianFlipLong(&l), 16777216);
	EXPECT_EQ(EndianFlipLong(&l), 1);
	l = 0x12345678;
	EndianFlipLong(&l);
	EXPECT_EQ(l, 0x78563412);
	EXPECT_EQ(EndianFlipLong(&l), 0x12345678);
}

}  // namespace

namespace {

TEST(SystemBoxes, TheAlertAndTheQuestionGoThroughTheWindowsMessageBox)
{
	kx_test::TempEnv env;
	kx_test::ScriptedWindow win;
	kx_test::ScopedEnvVar trace("KESTRIX_SCREEN_TRACE", env.path("trace.txt").c_str());
	const std::string long_text(300, 'x');
	DoUserAlert(("Caf\xE9 " + long_text).c_str());
	ASSERT_EQ(win.boxes.size(), 1u);
	EXPECT_EQ(win.boxes[0], "Caf\xC3\xA9 " + long_text.substr(0, 250) + "|");  // cut to 255 bytes, then UTF-8

	win.confirm_answer = 1;
	EXPECT_TRUE(ConfirmMessage("Go on?", "Yes", "No"));
	EXPECT_EQ(win.boxes[1], "Go on?|Yes|No");
	win.confirm_answer = 0;  // the cancel button, or a box closed another way
	EXPECT_FALSE(ConfirmMessage("Go on?", "Yes", "No"));
	win.box_shows = false;  // no box at all is no consent either
	EXPECT_FALSE(ConfirmMessage("Go on?", "Yes", "No"));
	// Without a box the alert goes to the terminal, a name from outside in it spelled out.
	testing::internal::CaptureStderr();
	DoUserAlert("unseen \x1b]0;owned\x07");
	const std::string err = testing::internal::GetCapturedStderr();
	EXPECT_EQ(err, "unseen \\x1b]0;owned\\x07\n");
	EXPECT_EQ(win.boxes.size(), 3u);

	const std::string t = kx_test::read_file(env.path("trace.txt"));
	EXPECT_NE(t.find("\"modal\": \"message_box\", \"texts\": [\"Go on?\"], \"labels\": [\"Yes\", \"No\"]"),
	          std::string::npos)
	    << t;
}

}  // namespace
