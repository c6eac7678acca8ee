#include <gtest/gtest.h>

#include "extras/qtim.h"

TEST(MovieRecorder, IdleRecorderLeavesTheSwapToTheFrameLoop)
{
	qtim_class q;
	EXPECT_EQ(q.state, 0);
	EXPECT_EQ(q.width, 320);
	EXPECT_EQ(q.fps, 20.0f);
	EXPECT_EQ(q.frame_count, 0);
	EXPECT_EQ(q.qt_usable, 0);
	for (int frame = 0; frame < 3; ++frame) EXPECT_EQ(q.mov_per_frame(), 0);
	// Without the movie toolbox a toggle starts nothing.
	q.mov_toggle(1);
	EXPECT_EQ(q.state, 0);
	EXPECT_EQ(q.mov_per_frame(), 0);
	EXPECT_EQ(qtim.mov_per_frame(), 0);
}
