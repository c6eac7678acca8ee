#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "runtime/hl_globals.h"
#include "runtime/xtim.h"
#include "support/test_env.h"

namespace {

// The smallest factor one smoothing step can apply: 0.5^(1/4).
const float kLowestStep = static_cast<float>(std::pow(0.5, 0.25));

uint64_t g_now_us = 0;
uint64_t fake_source() { return g_now_us; }

int g_unfocus_calls = 0;
std::vector<float> g_pulses;

// A fresh clock on a hand-driven time source, with mnw cleared and restored.
class FrameClock : public ::testing::Test {
protected:
	void SetUp() override
	{
		saved_mnw_ = mnw;
		mnw = mnw_struct{};
		g_now_us = 5000000;  // an arbitrary counter value: the clock counts from its first reading
		clk.set_time_source(fake_source);
		g_unfocus_calls = 0;
		g_pulses.clear();
		old_unfocus_ = xtim_set_unfocus_hook([] { ++g_unfocus_calls; });
		old_pulse_ = xtim_set_pulse_hook([](float p) { g_pulses.push_back(p); });
	}
	void TearDown() override
	{
		xtim_set_unfocus_hook(old_unfocus_);
		xtim_set_pulse_hook(old_pulse_);
		mnw = saved_mnw_;
	}
	// One frame that took the given seconds.
	void frame(double seconds)
	{
		g_now_us += static_cast<uint64_t>(std::llround(seconds * 1e6));
		clk.xtim_update();
	}
	void frames(int n, double seconds)
	{
		for (int i = 0; i < n; ++i) frame(seconds);
	}

	xtim_class clk;
	mnw_struct saved_mnw_;
	xtim_unfocus_fn old_unfocus_;
	xtim_pulse_fn old_pulse_;
};

// Elapsed counts from the first update, not from the first reading of the counter.
TEST_F(FrameClock, ElapsedCountsFromFirstUpdate)
{
	clk.microsecs();
	g_now_us += 3000000;
	clk.xtim_update();
	EXPECT_FLOAT_EQ(clk.elapsed, 0.0f);
	frame(0.5);
	EXPECT_FLOAT_EQ(clk.elapsed, 0.5f);
	EXPECT_EQ(clk.microsecs(), 3500000);
}

// The period moves by at most a factor 1.5^(1/4) per ten frames and settles at the
// frames' real length.
TEST_F(FrameClock, PeriodSmoothingFollowsSteadyFrames)
{
	const float step_max = static_cast<float>(std::pow(1.5, 0.25));
	clk.xtim_update();  // first frame: nothing measured yet, the ratio is clamped low
	EXPECT_NEAR(clk.frame_period[0], 0.02 * std::pow(0.5, 0.25), 1e-6);
	float prev = clk.frame_period[0];
	for (int block = 0; block < 40; ++block) {
		frames(10, 0.04);
		const float p = clk.frame_period[0];
		EXPECT_LE(p, prev * step_max * 1.0001f);
		EXPECT_GE(p, prev * 0.9999f);
		EXPECT_LE(p, 0.0401f);
		EXPECT_EQ(clk.frame_period[1], p);
		EXPECT_EQ(clk.frame_period[2], p);
		prev = p;
	}
	EXPECT_NEAR(prev, 0.04, 1e-4);
	EXPECT_NEAR(clk.period_ratio, 1.0, 1e-3);
}

TEST_F(FrameClock, PeriodClampedBothWays)
{
	frames(300, 0.1);
	EXPECT_FLOAT_EQ(clk.frame_period[0], 0.0526315793f);
	EXPECT_FLOAT_EQ(clk.period_ratio, 1.5f);
	frames(600, 0.0001);
	EXPECT_FLOAT_EQ(clk.frame_period[0], 0.0010000999f);
	EXPECT_FLOAT_EQ(clk.period_ratio, 0.5f);
}

// While the alert or a fixed dialog is up, the period keeps its value; on return the
// main window's average starts afresh instead of counting the dialog's long frames.
TEST_F(FrameClock, FixedDialogFreezesPeriodAndMainRestartsCleanly)
{
	frames(400, 0.04);
	const float settled = clk.frame_period[0];
	mnw.wind_id = 994;
	frames(7, 1.5);
	EXPECT_EQ(clk.frame_period[0], settled);
	mnw.wind_id = 997;
	frames(3, 0.0001);
	EXPECT_EQ(clk.frame_period[1], settled);
	mnw.wind_id = 0;
	// The long dialog frames never push the period up; the first step after the
	// return may come after fewer than ten frames and lower it once by the smallest
	// ratio, from which it climbs back.
	for (int i = 0; i < 30; ++i) {
		frame(0.04);
		EXPECT_LE(clk.frame_period[0], settled * 1.0001f) << i;
		EXPECT_GE(clk.frame_period[0], settled * kLowestStep * 0.9999f) << i;
	}
	frames(200, 0.04);
	EXPECT_NEAR(clk.frame_period[0], 0.04, 1e-4);
}

// Other dialog windows keep a period of their own; the main window's is untouched.
TEST_F(FrameClock, DialogWindowHasItsOwnPeriod)
{
	frames(400, 0.04);
	const float main_period = clk.frame_period[0];
	mnw.wind_id = 3;
	frames(400, 0.03);
	EXPECT_NEAR(clk.frame_period[0], 0.03, 1e-4);
	// A second window means the main case even with a dialog id.
	mnw.two_wind = 1;
	frame(0.04);
	EXPECT_LE(clk.frame_period[0], main_period * 1.0001f);
	EXPECT_GE(clk.frame_period[0], main_period * kLowestStep * 0.9999f);
	mnw.two_wind = 0;
	mnw.wind_id = 3;
	frame(0.03);
	EXPECT_LE(clk.frame_period[0], 0.0301f);
	EXPECT_GE(clk.frame_period[0], 0.03f * kLowestStep * 0.999f);
}

TEST_F(FrameClock, IntervalFlagsFireOncePerInterval)
{
	int fired[xtim_interval_count] = {};
	int sim_fired = 0;
	clk.xtim_update();
	for (int i = 0; i < 1050; ++i) {  // 10.5 s of 0.01 s frames
		frame(0.01);
		for (int k = 0; k < xtim_interval_count; ++k) fired[k] += clk.real_interval[k];
		sim_fired += clk.sim_interval[0] + clk.sim_interval[8];
	}
	EXPECT_EQ(fired[0], 1);   // 10 s
	EXPECT_EQ(fired[1], 2);   // 5 s
	EXPECT_EQ(fired[3], 10);  // 1 s
	EXPECT_GT(fired[8], fired[7]);
	// The simulated time stands still in the installer: its flags never fire.
	EXPECT_EQ(sim_fired, 0);
	clk.sim_time = 3.0f;
	frame(0.01);
	EXPECT_EQ(clk.sim_interval[0], 0);
	EXPECT_EQ(clk.sim_interval[2], 1);  // |3 - 0| > 2
	frame(0.01);
	EXPECT_EQ(clk.sim_interval[2], 0);
}

TEST_F(FrameClock, MouseTimingFlags)
{
	clk.xtim_update();
	frame(1.0);
	mnw.mouse_down = 1;
	frame(0.0);
	mnw.mouse_down = 0;
	EXPECT_EQ(mnw.mouse_held, 1);
	EXPECT_EQ(mnw.double_click, 0);
	EXPECT_FLOAT_EQ(mnw.mouse_press_time, 1.0f);
	EXPECT_FLOAT_EQ(mnw.mouse_move_time, 1.0f);
	EXPECT_EQ(g_unfocus_calls, 1);

	frame(0.1);
	EXPECT_EQ(mnw.mouse_repeat, 0);
	frame(0.2);  // 1.3 s: held for more than 0.25 s
	EXPECT_EQ(mnw.mouse_repeat, 1);
	mnw.mouse_up = 1;
	frame(0.1);  // a slow release
	mnw.mouse_up = 0;
	EXPECT_EQ(mnw.quick_release, 0);
	EXPECT_EQ(mnw.mouse_held, 0);
	EXPECT_EQ(mnw.mouse_repeat, 0);

	frame(0.6);  // 2.0 s: press and release quickly, then press again
	mnw.mouse_down = 1;
	frame(0.0);
	mnw.mouse_down = 0;
	mnw.mouse_up = 1;
	frame(0.1);
	mnw.mouse_up = 0;
	EXPECT_EQ(mnw.quick_release, 1);
	mnw.mouse_down = 1;
	frame(0.1);
	mnw.mouse_down = 0;
	EXPECT_EQ(mnw.double_click, 1);
	frame(0.0);
	EXPECT_EQ(mnw.double_click, 0);

	// Small jitter is not activity; a real move is.
	const float before = mnw.mouse_move_time;
	mnw.mouse_x = 0.4f;
	frame(1.0);
	EXPECT_EQ(mnw.mouse_move_time, before);
	mnw.mouse_y = 0.6f;
	frame(1.0);
	EXPECT_FLOAT_EQ(mnw.mouse_move_time, clk.elapsed);
}

TEST_F(FrameClock, PulseFollowsElapsed)
{
	clk.xtim_update();
	frame(0.05);
	ASSERT_EQ(g_pulses.size(), 2u);
	EXPECT_FLOAT_EQ(g_pulses[0], 0.7f);
	EXPECT_NEAR(g_pulses[1], 0.7 + 0.3 * std::sin(1.0), 1e-5);
}

TEST_F(FrameClock, DeltaTimerKeepsLow32Bits)
{
	unsigned long long mark = 0;
	clk.del_time(&mark);
	g_now_us += 1234;
	EXPECT_EQ(clk.del_time(&mark), 1234);
	EXPECT_EQ(mark, 1234u);
	g_now_us += (1ull << 32) + 5;
	EXPECT_EQ(clk.del_time(&mark), 5);
	clk.del_time(nullptr);
	g_now_us += 77;
	EXPECT_EQ(clk.del_time(nullptr), 77);
}

TEST_F(FrameClock, ProfileChartWritesOnlyWhenSwitchedOn)
{
	kx_test::TempEnv env;
	xer.open(env.path("log.txt"));
	clk.del_time(nullptr);
	g_now_us += 1000;
	clk.profile_chart("off", 1);
	mnw.profile_on = 1;
	clk.profile_chart("draw", 0);
	g_now_us += 20000;
	clk.profile_chart("swap", 1);
	g_now_us += 16000;
	clk.profile_chart("end", 1);
	xer.close();
	EXPECT_EQ(kx_test::read_file(env.path("log.txt")),
	          "draw=   100 | swap=  2000 |    total: 0.000 sec for topwi=0\n"
	          "end=  1600 |    total: 0.016 sec for topwi=0\n");
}

TEST_F(FrameClock, CalendarAndHoursMinutesSeconds)
{
	struct {
		float doy;
		int month, day;
	} cases[] = {{0.0f, 0, 1}, {30.5f, 0, 31}, {31.0f, 1, 1}, {59.0f, 2, 1}, {90.0f, 3, 1},
	             {364.0f, 11, 31}, {365.0f, 11, 31}, {1000.0f, 11, 31}};
	for (const auto& c : cases) {
		clk.day_of_year = c.doy;
		int m = -1, d = -1;
		clk.current_month_day(&m, &d);
		EXPECT_EQ(m, c.month) << c.doy;
		EXPECT_EQ(d, c.day) << c.doy;
	}
	float h, m, s;
	clk.xtim_hrs_min_sec(3725.0f, &h, &m, &s);
	EXPECT_EQ(h, 1.0f);
	EXPECT_EQ(m, 2.0f);
	EXPECT_EQ(s, 5.0f);
	clk.xtim_hrs_min_sec(59.9f, &h, &m, &s);
	EXPECT_EQ(h, 0.0f);
	EXPECT_EQ(m, 0.0f);
	EXPECT_EQ(s, 59.0f);
}

}  // namespace
