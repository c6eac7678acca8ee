#include <gtest/gtest.h>

#include <unistd.h>

#include <functional>
#include <string>

#include "graphics/ogl_draw.h"
#include "runtime/hl_globals.h"
#include "shell/menus.h"
#include "support/fake_draw_keys.h"
#include "support/test_env.h"

namespace {

using fv = std::vector<float>;

constexpr int kScreenW = 1024, kScreenH = 768;
constexpr int kTitleTop = kScreenH - 18;

class Menus : public ::testing::Test {
protected:
	void SetUp() override
	{
		fake_keys::reset();
		mnw.x_res_now = kScreenW;
		mnw.y_res_now = kScreenH;
		mnw.lang = 0;
		mnw.open_menu = -1;
		mnw.mouse_x = mnw.mouse_y = -100;
		mnw.mouse_down = 0;
		DIDIVI_clear_menus(1);
	}
	void TearDown() override
	{
		mnw.lang = 0;
		mnw.open_menu = -1;
		fake_keys::reset();
	}

	// A bar menu in slot `slot` holding the given items, codes 1, 2, 3...
	void make_menu(int slot, const std::string& title, const std::vector<std::string>& items)
	{
		DIDIVI_create_menu(slot, 0, title);
		for (size_t k = 0; k < items.size(); ++k) DIDIVI_append_menu(slot, int(k), int(k) + 1, items[k], 0);
	}

	static std::vector<std::string> texts(const std::vector<fake_keys::call>& calls)
	{
		std::vector<std::string> out;
		for (const auto& c : calls) out.push_back(c.text);
		return out;
	}
};

TEST_F(Menus, ClearingRefillsTheTableOnlyInModeOne)
{
	make_menu(3, "File", {"Open"});
	DIDIVI_clear_menus(2);
	EXPECT_EQ(menu[3].title, "File");
	DIDIVI_clear_menus(1);
	ASSERT_EQ(menu.size(), 1520u);
	EXPECT_EQ(menu[3].title, "");
	EXPECT_EQ(menu[3].parent, -1);
	EXPECT_TRUE(menu[3].items.empty());

	make_menu(4, "Edit", {"Copy", "Paste"});
	DIDIVI_clear_items(4);
	EXPECT_EQ(menu[4].title, "Edit");
	EXPECT_TRUE(menu[4].items.empty());
	DIDIVI_clear_menu(4);
	EXPECT_EQ(menu[4].title, "");
	EXPECT_EQ(menu[4].x2, 0);
}

TEST_F(Menus, TextWidthAddsTheFontAdvancesOrEightPerByteInKorean)
{
	EXPECT_EQ(menu_dx("Mm"), 20);
	EXPECT_EQ(menu_dx(""), 0);
	mnw.lang = 6;
	EXPECT_EQ(menu_dx("Open File"), 72);
}

TEST_F(Menus, TitlesSitOnTheBarFromTheLeftAndPluginsDoesNotAdvanceIt)
{
	DIDIVI_create_menu(0, 0, "File");
	DIDIVI_create_menu(1, 0, "Plugins");
	DIDIVI_create_menu(2, 0, "Edit");
	const int file_w = menu_dx("File") + 30;
	EXPECT_EQ(menu[0].x1, 0);
	EXPECT_EQ(menu[0].x2, file_w);
	EXPECT_EQ(menu[0].y1, kTitleTop);
	EXPECT_EQ(menu[0].y2, kScreenH);
	EXPECT_EQ(menu[0].parent, -1);
	EXPECT_EQ(menu[1].x1, file_w);
	EXPECT_EQ(menu[1].x2, file_w + menu_dx("Plugins") + 30);
	EXPECT_EQ(menu[2].x1, file_w);  // where "Plugins" was

	const std::string long_title(50, 'x');
	DIDIVI_create_menu(0, 0, long_title);  // slot 0 starts the bar again
	EXPECT_EQ(menu[0].title, long_title.substr(0, 40));
	EXPECT_EQ(menu[0].x1, 0);
	EXPECT_EQ(menu[0].x2, menu_dx(menu[0].title) + 30);
}

TEST_F(Menus, ItemsStackDownFromTheTitleInOneColumn)
{
	make_menu(0, "File", {"Open", "-", "Quit the program"});
	const auto& it = menu[0].items;
	ASSERT_EQ(it.size(), 3u);
	EXPECT_EQ(it[0].y2, kTitleTop - 2);
	EXPECT_EQ(it[0].y1, kTitleTop - 2 - 12);
	EXPECT_EQ(it[1].y2, it[0].y1);
	EXPECT_EQ(it[1].y1, it[0].y1 - 2);  // separator
	EXPECT_EQ(it[2].y2, it[1].y1);
	EXPECT_EQ(it[2].y1, it[1].y1 - 12);
	const int column = menu_dx("Quit the program") + 30;
	for (const auto& i : it) {
		EXPECT_EQ(i.x1, 0);
		EXPECT_EQ(i.x2, column);
	}
	EXPECT_EQ(it[2].code, 3);
	EXPECT_EQ(it[0].korean_font, 0);

	mnw.lang = 6;
	DIDIVI_append_menu(0, 3, 4, "K", 0);
	DIDIVI_append_menu(0, 4, 5, "L", 1);
	EXPECT_EQ(it[3].korean_font, 1);
	EXPECT_EQ(it[3].y2 - it[3].y1, 14);
	EXPECT_EQ(it[4].korean_font, 0);
	EXPECT_EQ(it[4].y2 - it[4].y1, 12);
	EXPECT_EQ(it[0].x2, 8 * 16 + 30);  // Korean widths: 8 per byte
}

TEST_F(Menus, AppendingInsideAMenuDropsTheLaterItems)
{
	make_menu(0, "File", {"a", "b", "c", "d", "e"});
	DIDIVI_append_menu(0, 2, 9, "C", 0);
	ASSERT_EQ(menu[0].items.size(), 3u);
	EXPECT_EQ(menu[0].items[2].text, "C");
	EXPECT_EQ(menu[0].items[2].code, 9);
	EXPECT_EQ(menu[0].items[2].y2, menu[0].items[1].y1);
	// Negative slots and items are ignored.
	DIDIVI_append_menu(-1, 0, 1, "x", 0);
	DIDIVI_append_menu(0, -1, 1, "x", 0);
	EXPECT_EQ(menu[0].items.size(), 3u);
}

TEST_F(Menus, ASubmenuOpensOnTheBoxOfItsParentItem)
{
	make_menu(0, "File", {"Open", "Recent"});
	DIDIVI_create_menu(5, 0 * 300 + 1, "Recent");
	const auto& from = menu[0].items[1];
	EXPECT_EQ(menu[5].parent, 0);
	EXPECT_EQ(menu[5].x1, from.x1);
	EXPECT_EQ(menu[5].y1, from.y1);
	EXPECT_EQ(menu[5].x2, from.x2);
	EXPECT_EQ(menu[5].y2, from.y2);
	DIDIVI_append_menu(5, 0, 51, "one.txt", 0);
	EXPECT_EQ(menu[5].items[0].y1, from.y1 - 2);
	EXPECT_EQ(menu[5].items[0].y2, from.y2 - 2);
}

TEST_F(Menus, RemovingAnItemMovesTheLaterOnesUp)
{
	make_menu(0, "File", {"a", "-", "c", "d"});
	const int c_top = menu[0].items[2].y2;
	DIDIVI_remove_menu_item(0, 1);
	ASSERT_EQ(menu[0].items.size(), 3u);
	EXPECT_EQ(menu[0].items[1].text, "c");
	EXPECT_EQ(menu[0].items[1].y2, c_top + 2);
	EXPECT_EQ(menu[0].items[1].y2, menu[0].items[0].y1);
	// Past the last item, or negative: nothing.
	DIDIVI_remove_menu_item(0, 3);
	DIDIVI_remove_menu_item(0, 299);
	DIDIVI_remove_menu_item(0, -1);
	DIDIVI_remove_menu_item(-1, 0);
	EXPECT_EQ(menu[0].items.size(), 3u);
}

// A quitting alert ends the process with status 1 and its lines on standard error. The
// death tests fork (the default style), so the child works in the parent's temporary
// folder, and the stack crawl it leaves there goes when the folder goes.
kx_test::TempEnv* g_death_env = nullptr;
void in_temp_folder(const std::function<void()>& body)
{
	if (!g_death_env || chdir(g_death_env->root().c_str()) != 0) _exit(9);
	body();
	_exit(0);
}

std::string alert_text(const std::string& line1, int line)
{
	return line1 + "\n\n\n\n\\(hl_mnw line " + std::to_string(line) + "\\)";
}

TEST_F(Menus, OutOfRangeAndOverlongAreFatal)
{
	kx_test::TempEnv env;
	g_death_env = &env;
	const auto dies = ::testing::ExitedWithCode(1);
	const std::string create = "Menu index out of range in create_menu!";
	EXPECT_EXIT(in_temp_folder([] { DIDIVI_create_menu(1520, 0, "x"); }), dies, alert_text(create, 70));
	EXPECT_EXIT(in_temp_folder([] { DIDIVI_create_menu(-1, 0, "x"); }), dies, alert_text(create, 70));
	EXPECT_EXIT(in_temp_folder([] { DIDIVI_create_menu(2, 1520 * 300, "x"); }), dies, alert_text(create, 70));
	EXPECT_EXIT(in_temp_folder([] { DIDIVI_create_menu(2, -5, "x"); }), dies, alert_text(create, 70));
	EXPECT_EXIT(in_temp_folder([] {
		            DIDIVI_append_menu(0, 0, 1, "only", 0);
		            DIDIVI_create_menu(2, 0 * 300 + 7, "x");  // slot 0 has no item 7
	            }),
	            dies, alert_text(create, 70));
	EXPECT_EXIT(in_temp_folder([] { DIDIVI_append_menu(0, 0, 1, std::string(40, 'x'), 0); }), dies,
	            alert_text("Menu name too long in append_menu!", 112));
	EXPECT_EXIT(in_temp_folder([] { DIDIVI_append_menu(1520, 0, 1, "x", 0); }), dies,
	            alert_text("Menu index out of range in append_menu!", 110));
	EXPECT_EXIT(in_temp_folder([] { DIDIVI_append_menu(0, 300, 1, "x", 0); }), dies,
	            alert_text("Item index out of range in append_menu!", 111));
	EXPECT_EXIT(in_temp_folder([] { DIDIVI_remove_menu_item(1520, 0); }), dies,
	            alert_text("Menu index out of range in remove_menu_item!", 178));
	EXPECT_EXIT(in_temp_folder([] { DIDIVI_remove_menu_item(0, 300); }), dies,
	            alert_text("Item index out of range in remove_menu_item!", 179));
	// The longest allowed text and title are fine.
	EXPECT_EXIT(in_temp_folder([] {
		            DIDIVI_append_menu(0, 0, 1, std::string(39, 'x'), 0);
		            DIDIVI_create_menu(1519, 0, std::string(60, 'y'));
	            }),
	            ::testing::ExitedWithCode(0), "");
	g_death_env = nullptr;
}

TEST_F(Menus, NothingIsDrawnWhileNoMenuIsOpen)
{
	make_menu(0, "File", {"Open"});
	standard_gui();
	EXPECT_TRUE(fake_keys::log().empty());
}

TEST_F(Menus, AnOpenMenuDrawsBarTitlesPanelItemsAndHighlights)
{
	make_menu(0, "File", {"Open", "-", "=Disabled", "Quit"});
	make_menu(1, "Edit", {"Copy"});
	DIDIVI_create_menu(2, 0 * 300 + 3, "More");
	DIDIVI_append_menu(2, 0, 40, "Deeper", 0);
	mnw.open_menu = 0;
	const auto& it = menu[0].items;
	mnw.mouse_x = it[3].x1 + 5;
	mnw.mouse_y = it[3].y2 - 1;  // the top row of the box still counts
	standard_gui();

	EXPECT_EQ(fake_keys::calls("BTN_frame1").at(0).args, (fv{0, kScreenW / 2, kScreenH - 9, kScreenW, 0}));
	const auto strings = fake_keys::calls("OGL_string");
	ASSERT_EQ(texts(strings), (std::vector<std::string>{"File", "Edit", "Open", "=Disabled", "Quit"}));
	EXPECT_EQ(strings[1].args, (fv{38, float(menu[1].x1 + 10), float(kTitleTop + 6), 9999, 100, 0}));
	EXPECT_EQ(strings[2].args, (fv{38, float(it[0].x1 + 18), float(it[0].y1 + 3), 9999, 100, 0}));

	const float bottom = it[3].y1, top = it[0].y2;
	EXPECT_EQ(fake_keys::calls("BTN_frame2").at(0).args,
	          (fv{17, float(it[0].x1), bottom - 2, float(it[0].x2 - it[0].x1), top - bottom + 4}));

	const auto fills = fake_keys::calls("OGL_fillrect");
	ASSERT_EQ(fills.size(), 2u);
	EXPECT_EQ(fills[0].args, (fv{36, 0.25f, 0, float(kTitleTop), float(menu[0].x2), 18}));
	EXPECT_EQ(fills[1].args, (fv{36, 0.25f, float(it[3].x1), float(it[3].y1), float(it[3].x2 - it[3].x1), 12}));

	// The separator: a dark line one unit above a light one, one unit short.
	const auto lines = fake_keys::calls("OGL_line");
	ASSERT_EQ(lines.size(), 2u);
	EXPECT_EQ(lines[0].args, (fv{35, 1, float(it[1].x1), float(it[1].y1 + 1), float(it[1].x2 - 1), float(it[1].y1 + 1)}));
	EXPECT_EQ(lines[1].args, (fv{37, 1, float(it[1].x1), float(it[1].y1), float(it[1].x2 - 1), float(it[1].y1)}));

	EXPECT_EQ(fake_keys::calls("BTN_util_element").at(0).args,
	          (fv{float(menu[2].x2 - 8), float(menu[2].y1 + 6), 167, 187, 9, 9, 0}));
}

TEST_F(Menus, HighlightEndsOneUnitBelowTheTopAndSkipsWhatCannotBeChosen)
{
	make_menu(0, "File", {"Open", "-", "=Disabled", "Quit"});
	mnw.open_menu = 0;
	const auto& it = menu[0].items;
	auto item_fills = [&] {
		fake_keys::reset();
		standard_gui();
		auto f = fake_keys::calls("OGL_fillrect");
		f.erase(f.begin());  // the open title's
		return f.size();
	};
	mnw.mouse_x = it[0].x2;
	mnw.mouse_y = it[0].y2;  // the top edge belongs to the title gap
	EXPECT_EQ(item_fills(), 0u);
	mnw.mouse_y = it[0].y1;
	EXPECT_EQ(item_fills(), 1u);
	for (int k : {1, 2}) {
		mnw.mouse_y = it[k].y1;
		EXPECT_EQ(item_fills(), 0u) << it[k].text;
	}
}

// The pop-up list as the list widget fills it: boxes of its own, here in two columns.
void fill_popup(const std::vector<std::string>& texts, int per_column)
{
	menu_struct& p = menu[menu_popup_slot];
	p.items.clear();
	for (size_t k = 0; k < texts.size(); ++k) {
		item_struct it;
		it.text = texts[k];
		it.x1 = static_cast<std::int16_t>(200 + 100 * (k / per_column));
		it.x2 = static_cast<std::int16_t>(it.x1 + 100);
		it.y2 = static_cast<std::int16_t>(400 - 12 * (k % per_column));
		it.y1 = static_cast<std::int16_t>(it.y2 - 12);
		p.items.push_back(it);
	}
}

TEST_F(Menus, ThePopUpListDrawsWithoutTheBarAndSeparatesItsColumns)
{
	fill_popup({"English", "French", "German", "Italian"}, 2);
	mnw.open_menu = menu_popup_slot;
	standard_gui();
	EXPECT_TRUE(fake_keys::calls("BTN_frame1").empty());
	EXPECT_TRUE(fake_keys::calls("OGL_fillrect").empty());
	const auto strings = fake_keys::calls("OGL_string");
	ASSERT_EQ(strings.size(), 4u);
	EXPECT_EQ(strings[2].text, "German");
	EXPECT_EQ(strings[2].args, (fv{38, 303, 391, 9999, 100, 0}));
	EXPECT_EQ(fake_keys::calls("BTN_frame2").at(0).args, (fv{17, 200, 374, 200, 28}));
	const auto lines = fake_keys::calls("OGL_line");
	ASSERT_EQ(lines.size(), 2u);
	EXPECT_EQ(lines[0].args, (fv{35, 1, 299, 374, 299, 402}));
	EXPECT_EQ(lines[1].args, (fv{37, 1, 300, 374, 300, 402}));
}

class MenuFiles : public Menus {
protected:
	kx_test::TempEnv env_;
	void write(const std::string& lang_folder, const std::string& body)
	{
		ASSERT_TRUE(kx_test::write_file(env_.path("menus/" + lang_folder + "/test.txt"), "I\n1 version\n" + body));
	}
};

TEST_F(MenuFiles, BlocksBecomeMenusWithItemsAndSeparators)
{
	write("english", "0 File Menu\n1 Open\n2 -\n3 Quit Now\n-\n0 Edit\n\t10 Copy\n-\n");
	DIDIVI_read_menus(env_.root(), "test.txt");
	EXPECT_EQ(menu[0].title, "File Menu");
	EXPECT_EQ(menu[0].parent, -1);
	ASSERT_EQ(menu[0].items.size(), 3u);
	EXPECT_EQ(menu[0].items[1].text, "-");
	EXPECT_EQ(menu[0].items[1].y2 - menu[0].items[1].y1, 2);
	EXPECT_EQ(menu[0].items[2].text, "Quit Now");
	EXPECT_EQ(menu[0].items[2].code, 3);
	EXPECT_EQ(menu[1].title, "Edit");
	EXPECT_EQ(menu[1].x1, menu[0].x2);
	ASSERT_EQ(menu[1].items.size(), 1u);
	EXPECT_EQ(menu[1].items[0].code, 10);
	EXPECT_EQ(menu[2].title, "");
}

TEST_F(MenuFiles, TheLanguageChoosesTheFolder)
{
	write("english", "0 File\n1 Open\n-\n");
	write("french", "0 Fichier\n1 Ouvrir\n-\n");
	mnw.lang = 1;
	DIDIVI_read_menus(env_.root(), "test.txt");
	EXPECT_EQ(menu[0].title, "Fichier");
	EXPECT_EQ(menu[0].items.at(0).text, "Ouvrir");
	mnw.lang = 0;
	DIDIVI_read_menus(env_.root(), "test.txt");
	EXPECT_EQ(menu[0].title, "File");
	// Korean files hold their texts as codes, two bytes each in the menu font.
	write("korean", "0 200 201\n5 300\n-\n");
	mnw.lang = 6;
	DIDIVI_read_menus(env_.root(), "test.txt");
	EXPECT_EQ(menu[0].title, "\x02J\x02K");
	EXPECT_EQ(menu[0].items.at(0).text, "\x03/");
	EXPECT_EQ(menu[0].items.at(0).korean_font, 1);
}

TEST_F(MenuFiles, ABlockWithoutItsEndRunsToTheEndOfTheData)
{
	write("english", "0 File\n1 Open\n-\n0 Edit\n10 Copy\n11 Paste");
	DIDIVI_read_menus(env_.root(), "test.txt");
	ASSERT_EQ(menu[1].items.size(), 2u);
	EXPECT_EQ(menu[1].items[1].text, "Paste");
	EXPECT_EQ(menu[1].items[1].code, 11);
}

TEST_F(MenuFiles, AMissingOrBadFileIsFatal)
{
	g_death_env = &env_;
	const std::string path = env_.root() + "menus/english/test.txt";
	const std::string want =
	    "Cannot open file!\n" + path + "\nTrash this copy and re-install Kestrix.\n\n\\(hl_mnw line 963\\)";
	const std::string root = env_.root();
	EXPECT_EXIT(in_temp_folder([&] { DIDIVI_read_menus(root, "test.txt"); }), ::testing::ExitedWithCode(1), want);
	ASSERT_TRUE(kx_test::write_file(path, "I\n2 version\n0 File\n-\n"));  // a version other than 1
	EXPECT_EXIT(in_temp_folder([&] { DIDIVI_read_menus(root, "test.txt"); }), ::testing::ExitedWithCode(1), want);
	g_death_env = nullptr;
}

}  // namespace
