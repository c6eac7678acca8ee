// The compression thread on its own: frames handed to it through the queue, without
// any GL, come out as a QuickTime movie that another reader takes as it is.
#include <gtest/gtest.h>

#include <cstring>

#include "extras/qtim_writer.h"
#include "movie_reader.h"
#include "qtim_fixture.h"

namespace {

using MovieThread = MovieWorld;

void fill_bgra(movie_frame_buf* b, unsigned char blue, unsigned char green, unsigned char red)
{
	for (int i = 0; i + 3 < b->size; i += 4) {
		b->block[i] = blue;
		b->block[i + 1] = green;
		b->block[i + 2] = red;
		b->block[i + 3] = 255;
	}
}

TEST_F(MovieThread, FramesFedToTheThreadMakeAMovieThatReadsBack)
{
	ASSERT_EQ(qtim.qt_usable, 1);
	qtim.state = 1;
	mov_startrecord();
	ASSERT_NE(gCurrentMovie, nullptr);
	ASSERT_EQ(usable_buffers.size(), 3u);

	const float durations[] = {0.05f, 0.2f, 0.001f};
	const unsigned char colours[][3] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}};  // BGR: red, green, blue
	for (int i = 0; i < 3; ++i) {
		movie_frame_buf* b = usable_buffers.front();
		usable_buffers.pop_front();
		ASSERT_EQ(b->size, 320 * 240 * 4);
		fill_bgra(b, colours[i][0], colours[i][1], colours[i][2]);
		b->duration = durations[i];
		UTL_message_queue_write(q_to_thread, b);
	}
	for (int i = 0; i < 3; ++i) {
		void* back = UTL_message_queue_read(q_from_thread, 10000);
		ASSERT_NE(back, nullptr) << "frame " << i << " did not come back";
		usable_buffers.push_back(static_cast<movie_frame_buf*>(back));
	}
	qtim.stop_thread();
	EXPECT_EQ(qtim.state, 0);
	EXPECT_EQ(gCurrentMovie, nullptr);
	EXPECT_EQ(qt_array, nullptr);
	EXPECT_EQ(qt_thread_made, 0);
	EXPECT_TRUE(alerts.alerts().empty());

	movie_info m = read_movie(take(1));
	ASSERT_TRUE(m.opened);
	EXPECT_EQ(m.codec_id, AV_CODEC_ID_MJPEG);
	EXPECT_EQ(m.codec_tag, MKTAG('j', 'p', 'e', 'g'));
	EXPECT_EQ(m.width, 320);
	EXPECT_EQ(m.height, 240);
	EXPECT_EQ(m.tb_num, 1);
	EXPECT_EQ(m.tb_den, 600);
	ASSERT_EQ(m.samples.size(), 3u);
	EXPECT_EQ(m.samples[0].duration, 30);
	EXPECT_EQ(m.samples[1].duration, 60);
	EXPECT_EQ(m.samples[2].duration, 1);
	EXPECT_EQ(m.samples[0].pts, 0);
	EXPECT_EQ(m.samples[1].pts, 30);
	EXPECT_EQ(m.samples[2].pts, 90);
	EXPECT_EQ(m.duration, 91);
	ASSERT_FALSE(m.samples[0].rgb.empty());
	EXPECT_TRUE(m.is_red(0));
	EXPECT_TRUE(m.near(1, 0, 255, 0));
	EXPECT_TRUE(m.is_blue(2));
}

TEST_F(MovieThread, StopsReturnBeforeAnyFrameAndInARunWithoutAFile)
{
	// A movie file whose thread never saw a frame: the stop still hears back.
	qtim.state = 1;
	mov_startrecord();
	ASSERT_EQ(qt_thread_made, 1);
	mov_stoprecord();
	EXPECT_EQ(qtim.state, 0);
	EXPECT_EQ(qt_array, nullptr);
	// A movie without samples: the muxer leaves out the empty track.
	EXPECT_FALSE(kx_test::read_file(take(1)).empty());
	EXPECT_TRUE(read_movie(take(1)).samples.empty());

	// A run without a file adds no frames: it keeps the count of the recording before
	// it, and stops on the first frame once that count reaches three.
	qtim.frame_count = 2;
	qtim.mov_toggle(2);
	EXPECT_EQ(qtim.state, 2);
	EXPECT_EQ(qtim.mov_per_frame(), 0);
	EXPECT_EQ(qtim.state, 2);
	EXPECT_EQ(qtim.frame_count, 2);
	qtim.frame_count = 3;
	EXPECT_EQ(qtim.mov_per_frame(), 0);
	EXPECT_EQ(qtim.state, 0);
	EXPECT_EQ(qt_array, nullptr);
	EXPECT_FALSE(kx_test::read_file(take(2)).size());
	// The thread is still there for the next recording, and still answers.
	EXPECT_EQ(qt_thread_made, 1);
	EXPECT_EQ(qt_thread_alive.load(), 1);
	qtim.stop_thread();
	EXPECT_EQ(qt_thread_alive.load(), 0);
	EXPECT_TRUE(alerts.alerts().empty());
}

TEST_F(MovieThread, ThreadEndedByAQuittingAlertEndsTheStopInsteadOfHangingIt)
{
	qtim.state = 1;
	mov_startrecord();
	// A compressor that went away: the thread's assertion ends it with a quitting alert.
	gCurrentMovie->end_compress();
	movie_frame_buf* b = usable_buffers.front();
	usable_buffers.pop_front();
	b->duration = 0.05f;
	UTL_message_queue_write(q_to_thread, b);
	EXPECT_THROW(mov_stoprecord(), kx_test::AlertExit);
	auto a = alerts.alerts();
	ASSERT_EQ(a.size(), 1u);
	EXPECT_EQ(a[0].type, 2);
	EXPECT_EQ(a[0].line2, "gCompressBuffer");
	EXPECT_EQ(a[0].line3, "QT_Thread");
	// Had the program gone on, the next stop would not wait for the dead thread either.
	qtim.stop_thread();
	EXPECT_EQ(qtim.state, 0);
	EXPECT_EQ(qt_thread_made, 0);
	EXPECT_EQ(usable_buffers.size(), 2u);
}

TEST_F(MovieThread, TakesFollowTheFilesPresentAndOnlyGrow)
{
	ASSERT_TRUE(kx_test::write_file(take(1), "x"));
	ASSERT_TRUE(kx_test::write_file(take(2), "x"));
	qtim.state = 1;
	mov_startrecord();
	mov_stoprecord();
	EXPECT_NE(kx_test::read_file(take(3)).find("moov"), std::string::npos);
	EXPECT_EQ(kx_test::read_file(take(1)), "x");
	ASSERT_EQ(std::remove(take(3).c_str()), 0);
	qtim.state = 1;
	mov_startrecord();
	mov_stoprecord();
	EXPECT_NE(kx_test::read_file(take(4)).find("moov"), std::string::npos);
	EXPECT_FALSE(kx_test::read_file(take(3)).size());
}

}  // namespace
