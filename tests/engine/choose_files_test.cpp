// Choosing what to install and delete, with scripted answers to the question about
// files the user changed.
#include <gtest/gtest.h>

#include <deque>
#include <utility>

#include "engine/install.h"
#include "engine/install_fixture.h"
#include "runtime/hl_globals.h"

using namespace kx_install_test;

namespace {

const std::string kOld = std::string(32, 'a');
const std::string kNew = std::string(32, 'b');
const std::string kUser = std::string(32, 'c');
const std::string kOlder = std::string(32, 'd');

std::deque<int> g_answers;
std::vector<std::pair<std::string, int>> g_asked;

int scripted_select(std::string path, int gone)
{
	g_asked.push_back({path, gone});
	if (g_answers.empty()) return 3;
	const int a = g_answers.front();
	g_answers.pop_front();
	return a;
}

class ChooseFiles : public ::testing::Test {
protected:
	void SetUp() override
	{
		reset_engine_state();
		dest_dir_path = "/inst/";
		g_answers.clear();
		g_asked.clear();
		old_hook_ = ENG_set_select_alert_hook(scripted_select);
	}
	void TearDown() override
	{
		ENG_set_select_alert_hook(old_hook_);
		sim_info.clear();
	}
	// A file whose wanted version is kNew with an older known version kOld, found on
	// disk with `have`.
	file_version_struct& file(const std::string& path, const std::string& have, const std::string& wanted = kNew)
	{
		file_version_struct w = version(path, wanted);
		w.sig_have = have;
		w.have = have == wanted;
		return add_history(w, {version(path, kOlder), version(path, kOld)});
	}
	select_alert_fn old_hook_ = nullptr;
};

}  // namespace

TEST_F(ChooseFiles, DecisionTableWithoutQuestions)
{
	file("All/absent.txt", "NONE");
	file("All/absent_gone.txt", "NONE", "GONE");
	file("All/current.txt", kNew);
	file("All/older.txt", kOld);
	file("All/oldest.txt", kOlder);
	file("All/older_gone.txt", kOld, "GONE");
	// Marked from an earlier call; every wanted version starts again from nothing.
	sim_info[2].back().install = 1;
	sim_info[2].back().remove = 1;

	ASSERT_EQ(choose_files(), 1);
	EXPECT_TRUE(g_asked.empty());
	const int want_install[] = {1, 0, 0, 1, 1, 0};
	const int want_remove[] = {0, 0, 0, 0, 0, 1};
	for (int i = 0; i < 6; ++i) {
		SCOPED_TRACE(sim_info[i].back().path);
		EXPECT_EQ(sim_info[i].back().install, want_install[i]);
		EXPECT_EQ(sim_info[i].back().remove, want_remove[i]);
	}
}

TEST_F(ChooseFiles, EachAnswerForAChangedFile)
{
	file("All/a/overwrite.txt", kUser);
	file("All/b/keep.txt", kUser);
	file("All/c/gone.txt", kUser, "GONE");
	file("All/d/keep_gone.txt", kUser, "GONE");
	g_answers = {1, 2, 1, 2};

	ASSERT_EQ(choose_files(), 1);
	ASSERT_EQ(g_asked.size(), 4u);
	EXPECT_EQ(g_asked[0], std::make_pair(std::string("/inst/a/overwrite.txt"), 0));
	EXPECT_EQ(g_asked[2], std::make_pair(std::string("/inst/c/gone.txt"), 1));
	EXPECT_EQ(sim_info[0].back().install, 1);
	EXPECT_EQ(sim_info[1].back().install, 0);
	EXPECT_EQ(sim_info[1].back().remove, 0);
	EXPECT_EQ(sim_info[2].back().remove, 1);
	EXPECT_EQ(sim_info[2].back().install, 0);
	EXPECT_EQ(sim_info[3].back().remove, 0);
}

TEST_F(ChooseFiles, FolderAnswersHoldForExactlyThatFolder)
{
	file("All/act/one.txt", kUser);
	file("All/act/two.txt", kUser);
	file("All/act/sub/three.txt", kUser);
	file("All/keep/one.txt", kUser);
	file("All/keep/two.txt", kUser, "GONE");
	file("All/act/four.txt", kUser, "GONE");
	g_answers = {4, 2, 5};

	ASSERT_EQ(choose_files(), 1);
	ASSERT_EQ(g_asked.size(), 3u);
	EXPECT_EQ(g_asked[0].first, "/inst/act/one.txt");
	EXPECT_EQ(g_asked[1].first, "/inst/act/sub/three.txt");
	EXPECT_EQ(g_asked[2].first, "/inst/keep/one.txt");
	EXPECT_EQ(sim_info[0].back().install, 1);
	EXPECT_EQ(sim_info[1].back().install, 1);  // silently, same folder
	EXPECT_EQ(sim_info[2].back().install, 0);  // subfolder asked again, kept
	EXPECT_EQ(sim_info[3].back().install, 0);
	EXPECT_EQ(sim_info[4].back().remove, 0);  // kept silently
	EXPECT_EQ(sim_info[5].back().remove, 1);  // deleted silently
}

TEST_F(ChooseFiles, TheChangedFileIsLoggedWhateverTheLogSwitch)
{
	kx_test::TempEnv env;
	xer.open(env.path("log.txt"));
	file("All/x.txt", kUser);
	g_answers = {2};
	ASSERT_EQ(choose_files(), 1);
	xer.close();
	EXPECT_NE(kx_test::read_file(env.path("log.txt"))
	              .find("File: /inst/x.txt  sig_want=" + kNew + "  sig_have=" + kUser + "\n"),
	          std::string::npos);
}

TEST_F(ChooseFiles, CancelInTheMiddleLeavesTheRestAlone)
{
	for (int i = 0; i < 5; ++i) file("All/f" + std::to_string(i) + "/x.txt", kUser);
	for (auto& h : sim_info) {
		h.back().install = 1;
		h.back().remove = 1;
	}
	g_answers = {1, 2, 3};

	EXPECT_EQ(choose_files(), 0);
	EXPECT_EQ(g_asked.size(), 3u);
	EXPECT_EQ(sim_info[0].back().install, 1);
	EXPECT_EQ(sim_info[1].back().install, 0);
	EXPECT_EQ(sim_info[2].back().install, 0);  // the one being asked about
	EXPECT_EQ(sim_info[2].back().remove, 0);
	for (int i = 3; i < 5; ++i) {
		EXPECT_EQ(sim_info[i].back().install, 1);
		EXPECT_EQ(sim_info[i].back().remove, 1);
	}
}

TEST_F(ChooseFiles, NoWindowMeansCancel)
{
	ENG_set_select_alert_hook(nullptr);
	file("All/x.txt", kUser);
	EXPECT_EQ(choose_files(), 0);
	EXPECT_EQ(select_alert("/p", 0), 3);
	// An answer outside the five is a window that went away.
	ENG_set_select_alert_hook([](std::string, int) { return 9; });
	EXPECT_EQ(select_alert("/p", 0), 3);
}

TEST_F(ChooseFiles, DeselectedTilesGoAndUnwantedFilesAreNotTouched)
{
	const std::string tile = "All/Global Scenery/+40-080/+40-080.dsf";
	add_tile(tile, kNew, 13, 10, kNew);                                      // current, deselected
	add_tile("All/Global Scenery/+40-090/+40-090.dsf", kNew, 13, 9, kUser);  // changed, deselected
	add_tile("All/Global Scenery/+30-080/+30-080.dsf", kNew, 12, 10, "NONE");  // absent, selected
	add_tile("All/Global Scenery/+20-080/+20-080.dsf", kNew, 11, 10, "NONE");  // absent, deselected
	stg.scenery_selected[stg_tile(13, 10)] = 0;
	stg.scenery_selected[stg_tile(13, 9)] = 0;
	stg.scenery_selected[stg_tile(11, 10)] = 0;
	file_version_struct w = version("Windows/only.exe", kNew);
	w.platform = 2;
	w.sig_have = kUser;
	add_history(w);
	g_answers = {1};

	ASSERT_EQ(choose_files(), 1);
	ASSERT_EQ(g_asked.size(), 1u);
	EXPECT_EQ(g_asked[0], std::make_pair(std::string("/inst/Global Scenery/+40-090/+40-090.dsf"), 1));
	EXPECT_EQ(sim_info[0].back().remove, 1);
	EXPECT_EQ(sim_info[1].back().remove, 1);
	EXPECT_EQ(sim_info[2].back().install, 1);
	EXPECT_EQ(sim_info[3].back().install + sim_info[3].back().remove, 0);
	EXPECT_EQ(sim_info[4].back().install + sim_info[4].back().remove, 0);

	// Scenery not taking part at all is left alone too.
	g_asked.clear();
	set_install_filter(1, 0);
	ASSERT_EQ(choose_files(), 1);
	EXPECT_TRUE(g_asked.empty());
	for (int i = 0; i < 4; ++i) EXPECT_EQ(sim_info[i].back().install + sim_info[i].back().remove, 0);
}

TEST_F(ChooseFiles, ProgressPositionsShareTheInstalledKilobytes)
{
	file("All/a.txt", "NONE").size_kb = 100;
	file("All/b.txt", kNew).size_kb = 500;  // current: not installed, takes no share
	file("All/c.txt", "NONE").size_kb = 300;
	file("All/d.txt", kOld).size_kb = 600;
	ASSERT_EQ(choose_files(), 1);
	EXPECT_FLOAT_EQ(sim_info[0].back().progress_at, 0.0f);
	EXPECT_FLOAT_EQ(sim_info[1].back().progress_at, 0.1f);
	EXPECT_FLOAT_EQ(sim_info[2].back().progress_at, 0.1f);
	EXPECT_FLOAT_EQ(sim_info[3].back().progress_at, 0.4f);

	sim_info.clear();
	file("All/a.txt", kNew);
	file("All/b.txt", "NONE", "GONE");
	ASSERT_EQ(choose_files(), 1);
	EXPECT_FLOAT_EQ(sim_info[0].back().progress_at, 0.5f);
	EXPECT_FLOAT_EQ(sim_info[1].back().progress_at, 0.5f);
}

TEST(ChooseHelpers, PathHasNoFileAndQuestionTexts)
{
	EXPECT_TRUE(path_has_no_file("a/b/"));
	EXPECT_FALSE(path_has_no_file("a/b"));
	EXPECT_FALSE(path_has_no_file(""));
	const select_alert_texts_t del = select_alert_texts(1);
	EXPECT_EQ(del.first_line, "I am about to DELETE:");
	EXPECT_EQ(del.button4, "DELETE EVERY OLD FILE IN THIS DIRECTORY");
	const select_alert_texts_t ins = select_alert_texts(0);
	EXPECT_EQ(ins.third_line, "but it appears you have modified this file. What to do?");
	EXPECT_EQ(ins.button1, "OVERWRITE THE OLD FILE");
	EXPECT_EQ(ins.button3, "CANCEL THE WHOLE INSTALLATION!");
}

TEST(Questions, TheTwoButtonQuestionGoesThroughItsHook)
{
	const abort_alert_fn old = ENG_set_abort_alert_hook(nullptr);
	EXPECT_EQ(abort_alert("m", "a", "b", "c", "d"), 3);  // no window to show it in
	static std::vector<std::string> seen;
	ENG_set_abort_alert_hook([](std::string m, std::string l1, std::string t1, std::string l2, std::string t2) {
		seen = {m, l1, t1, l2, t2};
		return m == "first" ? 1 : m == "second" ? 0 : 7;
	});
	EXPECT_EQ(abort_alert("first", "Go on", "keeps going", "Stop", "stops"), 1);
	EXPECT_EQ(seen, (std::vector<std::string>{"first", "Go on", "keeps going", "Stop", "stops"}));
	EXPECT_EQ(abort_alert("second", "", "", "", ""), 0);
	EXPECT_EQ(abort_alert("closed", "", "", "", ""), 3);
	ENG_set_abort_alert_hook(old);
}
