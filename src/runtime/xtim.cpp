#include "runtime/xtim.h"

#include <cmath>
#include <iomanip>

#include "platform/plat_clock.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_math_ui.h"

// Built with the framework's other globals, after the camera and the texture manager.
xtim_class xtim;

const float xtim_intervals[xtim_interval_count] = {10.0f, 5.0f, 2.0f, 1.0f, 0.5f, 0.2f, 0.1f, 0.05f, 0.025f};

namespace {

std::atomic<xtim_unfocus_fn> g_unfocus{nullptr};
std::atomic<xtim_pulse_fn> g_pulse{nullptr};

constexpr float period_min = 0.0010000999f;
constexpr float period_max = 0.0526315793f;  // 1/19
constexpr float click_time = 0.25f;

// One smoothing step from the time the last ten frames took.
float smooth(float period, float ten_frames, float& ratio_out)
{
	float ratio = (ten_frames * 0.1f) / period;
	if (!(ratio >= 0.5f)) ratio = 0.5f;  // also catches a NaN
	if (ratio > 1.5f) ratio = 1.5f;
	ratio_out = ratio;
	float p = period * static_cast<float>(std::pow(static_cast<double>(ratio), 0.25));
	if (p < period_min) p = period_min;
	if (p > period_max) p = period_max;
	return p;
}

void update_flags(int* flags, float* last_fire, float now)
{
	for (int i = 0; i < xtim_interval_count; ++i) {
		flags[i] = 0;
		if (std::fabs(now - last_fire[i]) > xtim_intervals[i]) {
			flags[i] = 1;
			last_fire[i] = now;
		}
	}
}

}  // namespace

xtim_unfocus_fn xtim_set_unfocus_hook(xtim_unfocus_fn f) { return g_unfocus.exchange(f); }
xtim_pulse_fn xtim_set_pulse_hook(xtim_pulse_fn f) { return g_pulse.exchange(f); }

xtim_class::xtim_class() = default;

uint64_t xtim_class::read_source() const { return source_ ? source_() : PLAT_microseconds(); }

long long xtim_class::microsecs()
{
	std::call_once(origin_once_, [this] { origin_ = read_source(); });
	return static_cast<long long>(read_source() - origin_);
}

void xtim_class::xtim_update()
{
	const double now = static_cast<double>(microsecs()) / 1000000.0;
	if (!started_) {
		start_ = now;
		started_ = true;
	}
	elapsed = static_cast<float>(now - start_);

	update_period();
	update_flags(sim_interval, last_sim_fire_, sim_time);
	update_flags(real_interval, last_real_fire_, elapsed);
	update_mouse();

	const float p = 0.7f + 0.3f * std::sin(20.0f * elapsed);
	if (xtim_pulse_fn f = g_pulse.load()) f(p);
}

void xtim_class::update_period()
{
	const bool dialog = mnw.wind_id != 0 && mnw.two_wind == 0;
	float period;
	if (!dialog) {
		if (calls_main_++ % 10 == 0) {
			period_main_ = smooth(period_main_, elapsed - mark_main_, period_ratio);
			mark_main_ = elapsed;
		}
		period = period_main_;
		mark_dialog_ = elapsed;
	} else {
		// The main window's average restarts cleanly when it comes back.
		mark_main_ = elapsed;
		// The alert and the fixed dialogs may hold a frame for as long as the user
		// takes; their frames say nothing about the frame rate.
		if (mnw.wind_id >= 994 && mnw.wind_id <= 999) {
			mark_dialog_ = elapsed;
			return;
		}
		if (calls_dialog_++ % 10 == 0) {
			period_dialog_ = smooth(period_dialog_, elapsed - mark_dialog_, period_ratio);
			mark_dialog_ = elapsed;
		}
		period = period_dialog_;
	}
	frame_period[0] = frame_period[1] = frame_period[2] = period;
}

void xtim_class::update_mouse()
{
	const float press = mnw.mouse_press_time;
	mnw.mouse_repeat = (mnw.mouse_held && elapsed > press + click_time) ? 1 : 0;
	mnw.double_click = (mnw.mouse_down && press + click_time > elapsed) ? 1 : 0;
	mnw.quick_release = (mnw.mouse_up && press + click_time > elapsed) ? 1 : 0;
	if (mnw.mouse_down) {
		mnw.mouse_held = 1;
		mnw.mouse_press_time = elapsed;
		mnw.mouse_move_time = elapsed;
		if (xtim_unfocus_fn f = g_unfocus.load()) f();
	}
	if (mnw.mouse_up) {
		mnw.mouse_held = 0;
		mnw.mouse_repeat = 0;
	}
	if (std::fabs(mnw.mouse_x - last_mouse_x_) > 0.5f || std::fabs(mnw.mouse_y - last_mouse_y_) > 0.5f) {
		mnw.mouse_move_time = elapsed;
		last_mouse_x_ = mnw.mouse_x;
		last_mouse_y_ = mnw.mouse_y;
	}
}

int xtim_class::del_time(unsigned long long* last)
{
	const unsigned long long now = static_cast<unsigned long long>(microsecs());
	unsigned long long before;
	if (last) {
		before = *last;
		*last = now;
	} else {
		before = shared_instant_.exchange(now);
	}
	return static_cast<int>(static_cast<uint32_t>(now - before));
}

void xtim_class::profile_chart(std::string label, int total)
{
	if (!mnw.profile_on) return;
	const int d = del_time(nullptr);
	// Fixed notation: with precision 0 the general notation would print 1e+03.
	xer << std::fixed << std::setw(1) << std::setprecision(0) << label << "=" << std::setw(6) << std::setprecision(0)
	    << d * 0.1 << " | ";
	if (total) {
		const long long now = microsecs();
		if (!profile_started_) {
			profile_last_ = now;
			profile_started_ = true;
		}
		const double t = static_cast<double>(now - profile_last_) / 1000000.0;
		profile_last_ = now;
		xer << std::fixed << "   total: " << std::setw(5) << std::setprecision(3) << t << " sec for topwi=" << mnw.wind_id << "\n";
	}
}

void xtim_class::current_month_day(int* month, int* day)
{
	static const int month_days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
	int m = 0;
	float before = 0.0f;
	// Day 365 and later are past the table: they stay in December.
	while (m < 11 && before + month_days[m] <= day_of_year) before += month_days[m++];
	*month = m;
	const float d = day_of_year - before + 1.0f;
	*day = (m == 11 && d > 31.0f) ? 31 : static_cast<int>(d);
}

void xtim_class::xtim_hrs_min_sec(float seconds, float* hours, float* minutes, float* secs)
{
	const float h = std::trunc(seconds / 3600.0f);
	const float m = std::trunc(seconds / 60.0f) - 60.0f * h;
	*hours = h;
	*minutes = m;
	*secs = std::trunc(seconds) - 3600.0f * h - 60.0f * m;
}
