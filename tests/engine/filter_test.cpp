#include <gtest/gtest.h>

#include <cmath>

#include "engine_test_util.h"

using namespace kx_engine_test;

namespace {

const std::string sig_a = "0123456789abcdef0123456789abcdef";

file_version_struct tile_version(int lat, int lon, const std::string& sig = sig_a)
{
	file_version_struct v = version_of("All/Global Scenery/t.dsf", sig);
	v.is_global = 1;
	v.lat_band = lat;
	v.lon_band = lon;
	return v;
}

void add(const file_version_struct& v) { sim_info.push_back({v}); }

using FilterTest = EngineTest;

TEST_F(FilterTest, PlatformsTakePartByTargetOs)
{
	for (int p : {0, 1, 2, 3, 6}) add(version_of("x/f", sig_a, p));
	auto wanted = [] {
		std::string r;
		for (int i = 0; i < int(sim_info.size()); ++i) r += char('0' + want_this_f(i, 0));
		return r;
	};
	stg.target_os = 3;
	EXPECT_EQ(wanted(), "10011");
	stg.target_os = 1;
	EXPECT_EQ(wanted(), "11000");
	stg.target_os = 2;
	EXPECT_EQ(wanted(), "10100");
}

TEST_F(FilterTest, FilterSeparatesSimulatorFilesFromScenery)
{
	add(version_of("All/a", sig_a));
	add(tile_version(13, 10));
	set_install_filter(1, 0);
	EXPECT_EQ(want_this_f(0, 0), 1);
	EXPECT_EQ(want_this_f(1, 0), 0);
	set_install_filter(0, 1);
	EXPECT_EQ(want_this_f(0, 0), 0);
	EXPECT_EQ(want_this_f(1, 0), 1);
	set_install_filter(0, 0);
	EXPECT_EQ(want_this_f(0, 0), 0);
	EXPECT_EQ(want_this_f(1, 0), 0);
	stg.scenery_selected[stg_tile(13, 10)] = 1;
	recalc_disk_sizes();
	EXPECT_EQ(stg.kb_to_download, 0.0f);
	EXPECT_EQ(stg.kb_to_install, 0.0f);
	EXPECT_EQ(stg.files_to_download, 0);
	EXPECT_EQ(stg.files_to_delete, 0);
}

TEST_F(FilterTest, TakeAllCopiesTheAvailableGrid)
{
	stg.scenery_available[stg_tile(3, 4)] = 1;
	stg.scenery_available[stg_tile(17, 35)] = 1;
	stg.scenery_selected[stg_tile(0, 0)] = 1;
	scenery_take_all();
	for (int w = 0; w < stg_tile_count; ++w) EXPECT_EQ(stg.scenery_selected[w], stg.scenery_available[w]) << w;
}

TEST_F(FilterTest, FromInstallSelectsTilesPresentOnDisk)
{
	add(tile_version(1, 2));
	add(tile_version(3, 4));
	add(tile_version(5, 6));
	add(version_of("All/plain", sig_a));
	add(tile_version(5, 40));  // off the grid: marks no tile, not even a neighbour's word
	sim_info[0][0].sig_have = "NONE";
	sim_info[1][0].sig_have = "d41d8cd98f00b204e9800998ecf8427e";
	// sim_info[2] was never scanned: its empty digest counts as present.
	sim_info[3][0].sig_have = sig_a;
	stg.scenery_selected[stg_tile(7, 7)] = 1;
	set_install_filter(0, 0);  // neither the filter nor the available grid is consulted
	scenery_from_install();
	int count = 0;
	for (int w = 0; w < stg_tile_count; ++w) count += stg.scenery_selected[w];
	EXPECT_EQ(count, 2);
	EXPECT_EQ(stg.scenery_selected[stg_tile(3, 4)], 1);
	EXPECT_EQ(stg.scenery_selected[stg_tile(5, 6)], 1);
	for (int w = 0; w < stg_tile_count; ++w) EXPECT_EQ(stg.scenery_available[w], 0) << w;
	EXPECT_FALSE(ENG_tile_selected(sim_info[4][0]));
}

TEST_F(FilterTest, TotalsCountWantedMissingFilesAndDeletions)
{
	file_version_struct missing = version_of("All/missing", sig_a);
	missing.zip_kb = 10;
	missing.size_kb = 25;
	file_version_struct current = missing;
	current.path = "All/current";
	current.have = 1;
	file_version_struct windows = missing;
	windows.platform = 2;
	file_version_struct gone_have = version_of("All/gone", "GONE");
	gone_have.have = 1;
	file_version_struct gone_absent = version_of("All/gone2", "GONE");
	file_version_struct selected_tile = tile_version(1, 1);
	selected_tile.zip_kb = 100;
	selected_tile.size_kb = 300;
	file_version_struct deselected_missing = tile_version(2, 2);
	deselected_missing.zip_kb = 1000;
	file_version_struct deselected_current = tile_version(3, 3);
	deselected_current.have = 1;
	file_version_struct deselected_changed = tile_version(4, 4);  // present but changed: have clear

	// Earlier versions never count, only the last of a history.
	sim_info.push_back({missing, current});
	add(missing);
	add(windows);
	add(gone_have);
	add(gone_absent);
	add(selected_tile);
	add(deselected_missing);
	add(deselected_current);
	add(deselected_changed);
	stg.scenery_selected[stg_tile(1, 1)] = 1;

	recalc_disk_sizes();
	EXPECT_EQ(stg.kb_to_download, 110.0f);
	EXPECT_EQ(stg.kb_to_install, 325.0f);
	EXPECT_EQ(stg.files_to_download, 2);
	EXPECT_EQ(stg.files_to_delete, 2);  // the removed file and the deselected current tile

	set_install_filter(1, 0);
	recalc_disk_sizes();
	EXPECT_EQ(stg.kb_to_download, 10.0f);
	EXPECT_EQ(stg.files_to_download, 1);
	EXPECT_EQ(stg.files_to_delete, 1);
}

TEST(SizeText, MegabytesAndGigabytesWithOneDecimal)
{
	const std::pair<float, const char*> cases[] = {
	    {500.0f, "0.5 Meg"},     {0.0f, "0.0 Meg"},           {650000.0f, "650.0 Meg"},
	    {999960.0f, "1000.0 Meg"},  // below 1000 MB, rounded up in the text
	    {1000000.0f, "1.0 Gig"}, {2500000.0f, "2.5 Gig"},     {12345678.0f, "12.3 Gig"},
	    {1250.0f, "1.3 Meg"},  // halves round away from zero
	};
	for (const auto& [kb, text] : cases) {
		std::string s = "old";
		set_size_str(kb, &s);
		EXPECT_EQ(s, text) << kb;
	}
}

}  // namespace
