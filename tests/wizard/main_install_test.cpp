#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "engine/engine_globals.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_errors.h"
#include "runtime/hl_globals.h"
#include "runtime/io_utils.h"
#include "support/child_watch.h"
#include "support/test_env.h"
#include "wizard/main_copies.h"
#include "wizard/main_install.h"
#include "wizard/main_screens.h"
#include "wizard/main_trace.h"

namespace {

struct Launched {
	int status;
};
void quiet_finishup(int) {}
[[noreturn]] void throwing_exit(int status) { throw Launched{status}; }

class InstallEnd : public ::testing::Test {
protected:
	InstallEnd()
	{
		xer.open(env.path("log.txt"));
		num_install_errors = 0;
		old_finishup = DIDIVI_set_finishup(quiet_finishup);
		old_exit = launch_app_set_exit(throwing_exit);
	}
	~InstallEnd() override
	{
		DIDIVI_set_finishup(old_finishup);
		launch_app_set_exit(old_exit);
		num_install_errors = 0;
		dest_dir_path.clear();
		xer.close();
	}
	int frame(screen_fn f)
	{
		s = wizard_screen{};
		const int r = f(0, s);
		for (screen_fn t : s.choice_targets) EXPECT_NE(wizard_screen_name(t), nullptr);
		return r;
	}

	kx_test::TempEnv env;
	kx_test::AlertRecorder alerts;
	finishup_fn old_finishup;
	launch_exit_fn old_exit;
	wizard_screen s;
};

TEST_F(InstallEnd, TheDoneScreenOffersTheCopyOnlyAfterASuccess)
{
	EXPECT_EQ(frame(dvd_done_install), 0);
	EXPECT_EQ(s.title, "Finished Installing Kestrix");
	EXPECT_EQ(s.text, "Installation was successful.");
	EXPECT_EQ(s.back_screen, dvd_start);
	EXPECT_EQ(s.next_screen, wizard_quit);
	ASSERT_EQ(s.choice_labels.size(), 1u);
	EXPECT_EQ(s.choice_labels[0], "Run Kestrix Now");
	EXPECT_EQ(s.choice_targets[0], dvd_do_run_sim);
	num_install_errors = 1;
	EXPECT_EQ(frame(dvd_done_install), 0);
	EXPECT_EQ(s.text.rfind("There were errors during the install; your copy of Kestrix may not be usable.\n\n", 0), 0u);
	EXPECT_TRUE(s.choice_labels.empty());
	EXPECT_EQ(s.next_screen, wizard_quit);
}

TEST_F(InstallEnd, RunningACopyStartsItsProgramAndEnds)
{
	dest_dir_path = env.path("Copy/");
	const std::string inner = dest_dir_path + "Kestrix.app/Contents/MacOS/Kestrix";
	kx_test::write_file(inner, "#!/bin/sh\nprintf '%s %s' \"$0\" \"$#\" > '" + env.path("ran") + "'\n");
	::chmod(inner.c_str(), 0755);
	int status = 0;
	kx_test::ChildWatch started;
	try {
		frame(dvd_do_run_sim);
	} catch (const Launched& l) {
		status = l.status;
	}
	EXPECT_TRUE(started.wait_new());
	EXPECT_EQ(status, 1);
	EXPECT_EQ(kx_test::read_file(env.path("ran")), inner + " 0");
	EXPECT_TRUE(alerts.alerts().empty());
}

TEST_F(InstallEnd, ACopyWithoutItsProgramIsSaidOnceAndTheMenuComesBack)
{
	dest_dir_path = env.path("Copy/");
	::mkdir(dest_dir_path.c_str(), 0755);
	EXPECT_EQ(frame(dvd_do_run_sim), 1);
	EXPECT_EQ(s.next_screen, dvd_start);
	const auto got = alerts.alerts();
	ASSERT_EQ(got.size(), 1u);
	EXPECT_EQ(got[0].type, t_alert);
	EXPECT_EQ(got[0].line1, dest_dir_path + "Kestrix.app");
	EXPECT_EQ(got[0].line2, error_str(ENOENT));
}

// The destination screens' sentence about the new folder, and where dest_dir_path points.
TEST(NewFolder, NoNameATakenNameAndAFreeOneOnTheDesktopOrElsewhere)
{
	kx_test::TempEnv env;
	const std::string parent = env.path("Apps/"), desktop = env.path("Desk/");
	::mkdir(parent.c_str(), 0755);
	::mkdir((parent + "Taken").c_str(), 0755);
	const new_folder_words w{"name?", "one name!", {"[", "|", "]"}, {"<", "|", ">"}, {"(", ")"}, "unlisted!"};
	std::string text;
	EXPECT_EQ(UTIL_new_folder(parent, "", desktop, w, text), new_folder_unnamed);
	EXPECT_EQ(text, "name?");
	EXPECT_EQ(dest_dir_path, parent);
	EXPECT_EQ(UTIL_new_folder(parent, "Taken", desktop, w, text), new_folder_taken);
	EXPECT_EQ(text, "[Taken|" + parent + "]");
	EXPECT_EQ(dest_dir_path, parent + "Taken/");
	EXPECT_EQ(UTIL_new_folder(parent, "New", desktop, w, text), new_folder_free);
	EXPECT_EQ(text, "<New|" + parent + ">");
	EXPECT_EQ(dest_dir_path, parent + "New/");
	EXPECT_EQ(UTIL_new_folder(parent, "New", parent, w, text), new_folder_free);
	EXPECT_EQ(text, "<New|" + parent + ">(New)");

	// A name that is a path is refused as an empty one is: nothing is joined from it,
	// even where the path it makes leads to a folder that exists or to a new one.
	::mkdir((parent + "x").c_str(), 0755);
	for (const std::string& name :
	     {std::string("x/.."), std::string("x/../.."), std::string("../K9"), std::string("."), std::string(".."),
	      std::string("a/b"), std::string("K9/"), std::string("/"), std::string("K\0" "9", 3)}) {
		SCOPED_TRACE(name);
		EXPECT_EQ(UTIL_new_folder(parent, name, desktop, w, text), new_folder_refused);
		EXPECT_EQ(text, "one name!");
		EXPECT_EQ(dest_dir_path, parent);
	}
	// Blanks and dots inside a name are the user's to choose.
	for (const char* name : {"K 9", "...", ".K9", " "}) {
		EXPECT_EQ(UTIL_new_folder(parent, name, desktop, w, text), new_folder_free) << name;
		EXPECT_EQ(dest_dir_path, parent + name + "/");
	}

	// A path the registration file cannot hold as one line (a line end in the chosen
	// folder, a path longer than its line) is refused where the copy is registered.
	const std::string name = "K9", joined = name + "/";
	const size_t room = kRegistrationLineMax - parent.size() - joined.size() - 1;  // the chosen folder's own "/"
	const std::pair<std::string, new_folder_state> paths[] = {
	    {parent + "line\nend/", new_folder_refused},
	    {parent + "line\rend/", new_folder_refused},
	    {parent + std::string(room + 1, 'p') + "/", new_folder_refused},
	    {parent + std::string(room, 'p') + "/", new_folder_free}};
	new_folder_words unregistered = w;
	unregistered.unlisted.clear();
	for (const auto& [chosen, state] : paths) {
		SCOPED_TRACE(chosen.size());
		EXPECT_EQ(UTIL_new_folder(chosen, name, desktop, w, text), state);
		EXPECT_EQ(dest_dir_path, state == new_folder_free ? chosen + joined : chosen);
		if (state == new_folder_refused) {
			EXPECT_EQ(text, "unlisted!");
		}
		EXPECT_EQ(UTIL_new_folder(chosen, name, desktop, unregistered, text), new_folder_free);
	}
	dest_dir_path.clear();
}

// A folder named in UTF-8 (é, ü and a Japanese letter): the sentences show it in the
// font's letters, everything that works on files keeps its own bytes.
TEST_F(InstallEnd, PathsAreShownInTheFontsLettersAndUsedAsTheyAre)
{
	const std::string parent = env.path("T\xC3\xA9l\xC3\xA9" "chargements \xC3\xBC\xE3\x81\x82/");
	const std::string shown = env.path("T\xE9l\xE9" "chargements ?\?/");
	::mkdir(parent.c_str(), 0755);
	::mkdir((parent + "Pris \xC3\xA9t\xC3\xA9").c_str(), 0755);
	const new_folder_words w{"name?", "one name!", {"[", "|", "]"}, {"<", "|", ">"}, {"(", ")"}, ""};
	std::string text;
	EXPECT_EQ(UTIL_new_folder(parent, "Pris \xC3\xA9t\xC3\xA9", parent, w, text), new_folder_taken);
	EXPECT_EQ(text, "[Pris \xE9t\xE9|" + shown + "]");
	EXPECT_EQ(UTIL_new_folder(parent, "Kestrix \xC3\xBC", parent, w, text), new_folder_free);
	EXPECT_EQ(text, "<Kestrix ?|" + shown + ">(Kestrix ?)");
	EXPECT_EQ(dest_dir_path, parent + "Kestrix \xC3\xBC/");

	// A copy whose program cannot be started is named in the alert the same way.
	::mkdir(dest_dir_path.c_str(), 0755);
	EXPECT_EQ(frame(dvd_do_run_sim), 1);
	const auto got = alerts.alerts();
	ASSERT_EQ(got.size(), 1u);
	EXPECT_EQ(got[0].line1, shown + "Kestrix ?/Kestrix.app");
	EXPECT_EQ(got[0].line2, error_str(ENOENT));
}

}  // namespace
