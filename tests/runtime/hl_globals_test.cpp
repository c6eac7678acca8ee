#include <gtest/gtest.h>

#include <cstddef>
#include <type_traits>

#include "runtime/hl_globals.h"

// Word number of a field of stg: the engine, the wizard and the preferences address the
// record by these numbers.
#define STG_WORD(f) (offsetof(stg_struct, f) / 4)

TEST(StgRecord, WordsSitAtTheirNumbers)
{
	static_assert(sizeof(int) == 4 && sizeof(float) == 4);
	static_assert(std::is_standard_layout_v<stg_struct>);
	EXPECT_EQ(STG_WORD(dir_state), 0u);
	EXPECT_EQ(STG_WORD(target_os), 1u);
	EXPECT_EQ(STG_WORD(log_actions), 2u);
	EXPECT_EQ(STG_WORD(server_count), 6u);
	EXPECT_EQ(STG_WORD(server_index), 7u);
	EXPECT_EQ(STG_WORD(scenery_selected), 8u);
	EXPECT_EQ(STG_WORD(scenery_available), 656u);
	EXPECT_EQ(STG_WORD(file_state), 1304u);
	EXPECT_EQ(STG_WORD(file_fraction), 1305u);
	EXPECT_EQ(STG_WORD(stream_count), 1306u);
	EXPECT_EQ(STG_WORD(get_beta), 1307u);
	EXPECT_EQ(STG_WORD(kb_to_download), 1308u);
	EXPECT_EQ(STG_WORD(kb_to_install), 1309u);
	EXPECT_EQ(STG_WORD(files_to_delete), 1311u);
	EXPECT_EQ(STG_WORD(has_sim_files), 1313u);
	EXPECT_EQ(sizeof(stg_struct), 1314u * 4);
}

TEST(StgRecord, TilesAreColumnMajor)
{
	// The 18 latitude bands of one longitude column are adjacent.
	EXPECT_EQ(stg_tile(0, 0), 0);
	EXPECT_EQ(stg_tile(17, 0), 17);
	EXPECT_EQ(stg_tile(0, 1), 18);
	EXPECT_EQ(stg_tile(17, 35), 647);
	EXPECT_EQ(stg_tile_count, 648);
}

TEST(Globals, StartValues)
{
	// Checked on a fresh copy of each plain record as well as the global, because an
	// earlier test in this binary may have written the global.
	const mnw_struct fresh_mnw{};
	EXPECT_EQ(fresh_mnw.keylist_up, 1);
	EXPECT_EQ(fresh_mnw.wind_id, 0);
	EXPECT_EQ(fresh_mnw.lang, 0);
	EXPECT_EQ(fresh_mnw.tex_res, 0);
	EXPECT_EQ(fresh_mnw.ui_scale, 0.0f);
	EXPECT_EQ(fresh_mnw.pix_fmt, nullptr);
	EXPECT_EQ(mnw.keylist_up, 1);

	const stg_struct fresh_stg{};
	for (int i = 0; i < stg_tile_count; ++i) {
		ASSERT_EQ(fresh_stg.scenery_selected[i], 0);
		ASSERT_EQ(fresh_stg.scenery_available[i], 0);
	}
	EXPECT_EQ(stg.server_count, 0);  // -1 only once the program entry sets it

	EXPECT_EQ(ren.global_alpha, 1.0f);
	EXPECT_EQ(ren.tex_units, 0);
	EXPECT_EQ(ren.night_mode, 0);
	EXPECT_EQ(ren.gl_vendor, nullptr);
	EXPECT_TRUE(ren.sim_list_a.empty() && ren.sim_list_b.empty());

	EXPECT_TRUE(menu.empty());
	EXPECT_TRUE(app_path.empty());
	EXPECT_TRUE(dvd_path.empty());
	EXPECT_FALSE(ouf.is_open());
	EXPECT_FALSE(cyc.is_open());
	EXPECT_FALSE(dat.is_open());
	EXPECT_EQ(app_done, 0);
}

TEST(Globals, StlsHoldsItsStringsEmpty)
{
	EXPECT_EQ(std::size(stls.ui_str), 1801u);
	EXPECT_EQ(std::size(stls.ui_str_ext), 400u);
	EXPECT_TRUE(stls.ui_str[stls_alert_button].empty());
	EXPECT_TRUE(stls.wind_title.empty());
	EXPECT_TRUE(stls.mouse_help.empty());
	EXPECT_TRUE(stls.ui_str_ext[399].empty());
}

TEST(MnwRecord, AliasesNameTheSameField)
{
	mnw_struct m{};
	m.wind_id = 994;
	EXPECT_EQ(m.current_window, 994);
	m.menu_state = 1519;
	EXPECT_EQ(m.open_menu, 1519);
	m.wind_dx = 420.0f;
	m.wind_dy = 250.0f;
	EXPECT_EQ(m.window_width, 420.0f);
	EXPECT_EQ(m.window_height, 250.0f);
	m.pointer_shape = 13;
	EXPECT_EQ(m.cursor_kind, 13);
	m.x_res_now = 1024;
	m.y_res_now = 768;
	m.col_res_now = 32;
	EXPECT_EQ(m.res_x, 1024);
	EXPECT_EQ(m.res_y, 768);
	EXPECT_EQ(m.res_depth, 32);
	m.mouse_wheel = -3;
	EXPECT_EQ(m.wheel, -3);
	m.texture_res = 5;
	EXPECT_EQ(m.tex_res, 5);
	m.alias_now = 2;
	EXPECT_EQ(m.pixel_format_level, 2);
}

TEST(MenuRecord, FreshSlotIsABarTitleWithNoItems)
{
	const menu_struct slot;
	EXPECT_EQ(slot.parent, -1);
	EXPECT_TRUE(slot.title.empty());
	EXPECT_TRUE(slot.items.empty());
	EXPECT_EQ(slot.x1 | slot.y1 | slot.x2 | slot.y2, 0);
	EXPECT_EQ(menu_popup_slot, menu_slot_count - 1);
}
