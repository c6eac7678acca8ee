#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "engine/engine_globals.h"
#include "runtime/rec_stg.h"
#include "support/test_env.h"
#include "wizard/main_map.h"

namespace {

TEST(SizeString, PowersOfTwoOverThousandByteKilobytes)
{
	EXPECT_EQ(size_string(5000000.0f), "4.8 GB");
	EXPECT_EQ(size_string(1024000.0f), "1000 MB");
	EXPECT_EQ(size_string(1024001.0f), "1.0 GB");
	EXPECT_EQ(size_string(2048.0f), "2 MB");
	EXPECT_EQ(size_string(1024.0f), "1024 KB");
	EXPECT_EQ(size_string(0.0f), "0 KB");
}

const std::string kEnough = "You have enough.";
const std::string kShort = "You are short.";

TEST(DiskVerdict, TheSentenceAndTheResultAgree)
{
	// 2,048,000,000 bytes is 2,048,000 KB: "2.0 GB"; the need 1,024,000 KB "1000 MB".
	disk_verdict v = UTIL_disk_verdict(4096000000ull, 2048000000ull, 1024000.0f, kEnough, kShort);
	EXPECT_EQ(v.fits, 1);
	EXPECT_EQ(v.text,
	          "Disk size: 3.9 GB\nFree disk space: 2.0 GB\nDisk space needed to install: 1000 MB.\n\nYou have enough.");
	v = UTIL_disk_verdict(4096000000ull, 2048000000ull, 2048001.0f, kEnough, kShort);
	EXPECT_EQ(v.fits, 0);
	EXPECT_NE(v.text.find("\n\nYou are short."), std::string::npos);
	// A need equal to the free space fits, and says so.
	v = UTIL_disk_verdict(4096000000ull, 2048000000ull, 2048000.0f, kEnough, kShort);
	EXPECT_EQ(v.fits, 1);
	EXPECT_NE(v.text.find("\n\nYou have enough."), std::string::npos);
	// Free bytes count in whole KB.
	EXPECT_EQ(UTIL_disk_verdict(4096000000ull, 1999, 2.0f, kEnough, kShort).fits, 0);
	EXPECT_EQ(UTIL_disk_verdict(4096000000ull, 2000, 2.0f, kEnough, kShort).fits, 1);
	// A drive that reports no size is of unknown size, not full: the user may go on,
	// told plainly that the room could not be measured.
	v = UTIL_disk_verdict(0, 0, 2048000.0f, kEnough, kShort);
	EXPECT_EQ(v.fits, 1);
	EXPECT_EQ(v.text.rfind("Disk size: unknown\nFree disk space: unknown\nDisk space needed to install: 2.0 GB.\n\n", 0),
	          0u);
	EXPECT_EQ(v.text.find("0 KB"), std::string::npos);
	EXPECT_EQ(v.text.find(kEnough), std::string::npos);
	EXPECT_EQ(v.text.find(kShort), std::string::npos);
}

TEST(DiskVerdict, TheDestinationsVolumeIsMeasuredBeforeItsFolderExists)
{
	kx_test::TempEnv env;
	dest_dir_path = env.path("not/yet/made/");
	stg.kb_to_install = 1.0f;
	const disk_verdict v = UTIL_disk_space_verdict(kEnough, kShort);
	EXPECT_EQ(v.fits, 1);
	EXPECT_EQ(v.text.rfind("Disk size: ", 0), 0u);
	EXPECT_TRUE(v.text.ends_with("Disk space needed to install: 1 KB.\n\nYou have enough."));
	dest_dir_path.clear();
	stg.kb_to_install = 0.0f;
}

// The map's picking, on the tile grid of stg, with the window's origin at (10, 20).
class MapPick : public ::testing::Test {
protected:
	static constexpr float ox = 10.0f, oy = 20.0f;
	MapPick() { std::fill(std::begin(sel), std::end(sel), 0); }

	// The centre of tile (c, r).
	static world_map_mouse at(int c, int r, bool down, bool held)
	{
		const map_rect t = UTIL_map_tile(c, r, ox, oy);
		return {(t.x0 + t.x1) / 2, (t.y0 + t.y1) / 2, down, held};
	}
	bool frame(const world_map_mouse& m) { return UTIL_world_map_pick(d, m, ox, oy, sel); }
	int count() const { return int(std::count(std::begin(sel), std::end(sel), 1)); }

	world_map_drag d;
	int sel[stg_tile_count];
};

TEST_F(MapPick, TileSquaresFollowTheOrigin)
{
	const map_rect t = UTIL_map_tile(2, 3, ox, oy);
	EXPECT_FLOAT_EQ(t.x0, 248 + 28 + ox);
	EXPECT_FLOAT_EQ(t.x1, 262 + 28 + ox);
	EXPECT_FLOAT_EQ(t.y0, 150 + 42 + oy);
	EXPECT_FLOAT_EQ(t.y1, 164 + 42 + oy);
}

TEST_F(MapPick, AClickTogglesOnlyTheTileUnderIt)
{
	sel[stg_tile(3, 2)] = 1;
	sel[stg_tile(3, 3)] = 1;
	EXPECT_TRUE(frame(at(2, 3, true, true)));
	EXPECT_EQ(sel[stg_tile(3, 2)], 0);
	EXPECT_EQ(sel[stg_tile(3, 3)], 1);
	EXPECT_FALSE(frame(at(2, 3, false, false)));
	EXPECT_TRUE(frame(at(5, 5, true, true)));
	EXPECT_EQ(sel[stg_tile(5, 5)], 1);
	EXPECT_EQ(count(), 2);
}

TEST_F(MapPick, AClickOnABorderChangesNothingUntilTheMouseMoves)
{
	const map_rect t = UTIL_map_tile(4, 4, ox, oy);
	const world_map_mouse edge{t.x1, (t.y0 + t.y1) / 2, true, true};
	EXPECT_FALSE(frame(edge));
	EXPECT_EQ(count(), 0);
	// Both tiles of the edge were unselected: moving right selects the one it enters.
	EXPECT_TRUE(frame({t.x1 + 1, edge.y, false, true}));
	EXPECT_EQ(sel[stg_tile(4, 5)], 1);
	EXPECT_EQ(count(), 1);
}

TEST_F(MapPick, ADragFromASelectedTileClearsEveryTileItTouchesAndKeepsThem)
{
	std::fill(std::begin(sel), std::end(sel), 1);
	frame(at(10, 5, true, true));
	frame(at(12, 7, false, true));
	EXPECT_EQ(count(), stg_tile_count - 9);
	// Shrinking the rectangle leaves the tiles it covered changed.
	frame(at(10, 5, false, true));
	frame(at(10, 5, false, false));
	EXPECT_EQ(count(), stg_tile_count - 9);
	for (int c = 10; c <= 12; ++c)
		for (int r = 5; r <= 7; ++r) EXPECT_EQ(sel[stg_tile(r, c)], 0);
}

TEST_F(MapPick, ADragTowardsTheLowerLeftCoversItsRectangle)
{
	frame(at(12, 7, true, true));
	EXPECT_TRUE(frame(at(10, 5, false, true)));
	EXPECT_EQ(count(), 9);
	EXPECT_EQ(sel[stg_tile(5, 10)], 1);
	EXPECT_EQ(sel[stg_tile(7, 12)], 1);
}

TEST_F(MapPick, APressHeldFromAnotherScreenDoesNotDrag)
{
	// The press that opened the screen is still held: the map never saw it go down.
	d.o_x = UTIL_map_tile(0, 0, ox, oy).x0 + 1;
	d.o_y = UTIL_map_tile(0, 0, ox, oy).y0 + 1;
	d.o_use = 1;
	EXPECT_FALSE(frame(at(20, 10, false, true)));
	EXPECT_EQ(count(), 0);
}

TEST_F(MapPick, ADragWhoseReleaseWasNotSeenEndsWithTheVisit)
{
	// The last visit ended on a press (Go Back, under the map) the picker saw go down.
	world_map_mouse back = at(0, 0, true, true);
	back.y = oy + 20;
	back.frame = 10;
	EXPECT_FALSE(frame(back));
	// Frames later, a press made on another screen is still held over the map.
	world_map_mouse held = at(20, 10, false, true);
	held.frame = 25;
	EXPECT_FALSE(frame(held));
	held.frame = 26;
	held.x += 30;
	EXPECT_FALSE(frame(held));
	EXPECT_EQ(count(), 0);
	// A drag the picker follows frame by frame goes on.
	world_map_mouse press = at(3, 3, true, true);
	press.frame = 27;
	EXPECT_TRUE(frame(press));
	world_map_mouse drag = at(4, 3, false, true);
	drag.frame = 28;
	EXPECT_TRUE(frame(drag));
	EXPECT_EQ(count(), 2);
}

TEST_F(MapPick, ADragFromOffTheMapUsesTheLastChoice)
{
	sel[stg_tile(0, 0)] = 1;
	frame(at(0, 0, true, true));  // a clearing press
	frame(at(0, 0, false, false));
	sel[stg_tile(1, 1)] = 1;
	// From below the map up into tile (1, 1): the drag still clears.
	const map_rect t = UTIL_map_tile(1, 1, ox, oy);
	frame({t.x0 + 1, oy + 100, true, true});
	EXPECT_TRUE(frame({t.x0 + 2, t.y0 + 2, false, true}));
	EXPECT_EQ(sel[stg_tile(1, 1)], 0);
	EXPECT_EQ(d.o_use, 0);
}

}  // namespace
