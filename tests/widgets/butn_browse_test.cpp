// The browser's window-free rules and the path fields with a scripted folder chooser.
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/test_env.h"
#include "widgets/butn_browse_logic.h"
#include "widgets/widget_frames.h"

TEST(BrowseLogic, FolderAndLastParts)
{
	EXPECT_EQ(BTN_folder_part("a/b/c"), "a/b/");
	EXPECT_EQ(BTN_folder_part("a/b/c/"), "a/b/");
	EXPECT_EQ(BTN_folder_part("a/"), "");
	EXPECT_EQ(BTN_folder_part("c"), "");
	EXPECT_EQ(BTN_folder_part(""), "");
	EXPECT_EQ(BTN_last_part("d/f.acf"), "f.acf");
	EXPECT_EQ(BTN_last_part("a/b/"), "b/");
}

TEST(BrowseLogic, StartFoldersAndSaveNames)
{
	EXPECT_EQ(BTN_browser_start_folder(3, "a/b/c.acf"), "a/b/");
	EXPECT_EQ(BTN_browser_start_folder(3, "a/"), "");
	EXPECT_EQ(BTN_browser_start_folder(10, ""), "Output/movies/");
	EXPECT_EQ(BTN_browser_start_folder(15, ""), "Starvault Reosources/spaceships/");
	EXPECT_EQ(BTN_browser_start_folder(21, ""), "sim/");
	EXPECT_EQ(BTN_browser_start_folder(0, ""), "");

	EXPECT_EQ(BTN_save_name("flight.sit", 9), "flight.SIT");
	EXPECT_EQ(BTN_save_name("plan", 11), "plan.FMS");
	EXPECT_EQ(BTN_save_name("abcd", 0), "abcd");
	EXPECT_EQ(BTN_save_name("x.y", 19), "x.y.TXT");
	EXPECT_EQ(BTN_save_name(".acf", 3), ".acf.ACF");  // 4 characters: not dropped
}

TEST(BrowseLogic, LevelsAndThePopUpItems)
{
	BTN_folder_levels l = BTN_levels_of("a/b/");
	EXPECT_EQ(l.levels, (std::vector<std::string>{"", "a/", "a/b/"}));
	EXPECT_EQ(l.items, "Orvala folder-a-b");
	l = BTN_levels_of("my-dir/pipe|dir/");
	EXPECT_EQ(l.items, "Orvala folder-my dir-pipe dir");
	EXPECT_EQ(l.levels[2], "my-dir/pipe|dir/");  // the levels keep the names on disk
	std::vector<std::string> items;
	const char* fault = nullptr;
	EXPECT_TRUE(BTN_split_items(l.items, &items, &fault));
	EXPECT_EQ(items.size(), 3u);

	std::string deep;
	for (int i = 0; i < 400; ++i) deep += "d/";
	l = BTN_levels_of(deep);
	EXPECT_EQ(int(l.levels.size()), btn_max_levels);
	EXPECT_TRUE(BTN_split_items(l.items, &items, &fault));
	EXPECT_EQ(BTN_levels_of("").items, "Orvala folder");
}

TEST(BrowseLogic, PopUpItemStrings)
{
	std::vector<std::string> items;
	const char* fault = nullptr;
	EXPECT_TRUE(BTN_split_items("", &items, &fault));
	EXPECT_EQ(items, std::vector<std::string>{""});
	EXPECT_TRUE(BTN_split_items("a--b", &items, &fault));
	EXPECT_EQ(items, (std::vector<std::string>{"a", "", "b"}));
	EXPECT_FALSE(BTN_split_items("a|b", &items, &fault));
	EXPECT_STREQ(fault, "Found | char in text string!");
	EXPECT_TRUE(BTN_split_items(std::string(299, '-'), &items, &fault));
	EXPECT_EQ(items.size(), 300u);
	EXPECT_FALSE(BTN_split_items(std::string(300, '-'), &items, &fault));
	EXPECT_STREQ(fault, "BTN_text_list overflow!");
}

TEST(BrowseLogic, TheBufferRule)
{
	char buf[600];
	std::memset(buf, 'x', sizeof buf);
	BTN_copy_to_buffer("abcdefghijklmnopqrst", buf, 8);
	EXPECT_STREQ(buf, "abcdefg");
	BTN_copy_to_buffer("abc", buf, 0);
	EXPECT_STREQ(buf, "");
	BTN_copy_to_buffer("abc", buf, -3);
	EXPECT_STREQ(buf, "");
	kx_test::AlertRecorder rec;
	EXPECT_THROW(BTN_copy_to_buffer(std::string(550, 'a'), buf, 600), kx_test::AlertExit);
	ASSERT_EQ(rec.alerts().size(), 1u);
	EXPECT_EQ(rec.alerts()[0].line1, "String too long!");
}

namespace {

class PathFields : public WidgetFrames {
protected:
	kx_test::TempEnv env;
	// A folder dialog program that prints `answer` and exits with `status`.
	std::string chooser(const std::string& answer, int status)
	{
		const std::string p = env.path("chooser.sh");
		kx_test::write_file(p, "#!/bin/sh\nprintf '%s\\n' '" + answer + "'\nexit " + std::to_string(status) + "\n");
		chmod(p.c_str(), 0755);
		return p;
	}
};

}  // namespace

TEST_F(PathFields, ShowTheLastPartAndTakeAnEditWithoutTheFolder)
{
	KX_REQUIRE_GL(gl);
	std::string path = "d/f.acf";
	int r = -1;
	auto field = [&] { r = BTN_select_path_stl(100, 200, 998, 3, &path, 100, "Plane:", 200, 0); };
	idle(field);
	EXPECT_EQ(stl_global, "f.acf");
	click(100 + 150, 203, field);  // after the text: the caret at its end
	keys({key_char('x')}, field);
	EXPECT_EQ(path, "f.acfx");
	EXPECT_EQ(r, 0);
	// Types 20 and 21 show the whole path.
	path = "sim/a/b";
	idle([&] { BTN_select_path_stl(100, 200, 999, 20, &path, 100, "", 200, 0); });
	EXPECT_EQ(stl_global, "sim/a/b");

	kx_test::AlertRecorder rec;
	EXPECT_THROW(idle([&] { BTN_select_path_stl(100, 200, 997, 3, &path, 100, "", 200, 0); }), kx_test::AlertExit);
	EXPECT_THROW(idle([&] { BTN_select_path_stl(100, 200, 998, 22, &path, 100, "", 200, 0); }), kx_test::AlertExit);
	ASSERT_EQ(rec.alerts().size(), 2u);
	EXPECT_EQ(rec.alerts()[0].line1, "Bad open_save arg to BTN_select_file_stl!");
	EXPECT_EQ(rec.alerts()[1].line1, "Bad file_type arg to BTN_select_file_stl!");
}

TEST_F(PathFields, TheIconAsksTheFolderChooser)
{
	KX_REQUIRE_GL(gl);
	std::string path = "keep/me";
	int r = -1;
	auto field = [&] { r = BTN_select_path_stl(100, 200, 998, 3, &path, 100, "|{?Pick a folder", 200, 0); };
	{
		kx_test::ScopedEnvVar dlg("KESTRIX_FOLDER_DIALOG", chooser("/tmp/picked folder", 0).c_str());
		click(100 - 17, 203, field);
		EXPECT_EQ(r, 1);
		EXPECT_EQ(path, "/tmp/picked folder");
		EXPECT_EQ(stls.mouse_help, "Pick a folder");
	}
	{
		kx_test::ScopedEnvVar dlg("KESTRIX_FOLDER_DIALOG", chooser("/nowhere", 1).c_str());
		click(100 - 17, 203, field);
		EXPECT_EQ(r, 0);
		EXPECT_EQ(path, "/tmp/picked folder");
	}
	{
		const std::string twenty = "/abcdefghijklmnopqrs";
		kx_test::ScopedEnvVar dlg("KESTRIX_FOLDER_DIALOG", chooser(twenty, 0).c_str());
		char buf[8] = "";
		click(100 - 17, 203, [&] { r = BTN_select_path_chr(100, 200, 998, 0, buf, 8, "", 200, 0); });
		EXPECT_EQ(r, 1);
		EXPECT_STREQ(buf, "/abcdef");

		char name[64] = "old.acf";
		std::string folder = "planes/old.acf";
		click(100 - 17, 203, [&] { r = BTN_select_file_chr(100, 200, 998, 3, name, &folder, 64, "", 200); });
		EXPECT_EQ(r, 1);
		EXPECT_EQ(folder, twenty);
		EXPECT_STREQ(name, "abcdefghijklmnopqrs");
	}
}
