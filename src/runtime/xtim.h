#pragma once
// The frame clock. Once per frame the frame loop calls xtim_update, which sets the real
// seconds since the first frame, a smoothed frame period, one-pass interval flags, the
// mouse timing flags of mnw and the pulsing colours of the palette. Its elapsed seconds
// are the time base of every time-out, transfer rate and animation. Main thread only,
// except microsecs and del_time, which any thread may call once the clock has been read
// on the main thread.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

// Microseconds of some monotonic counter; the clock measures from its first reading.
using xtim_source_fn = uint64_t (*)();
// Drops the keyboard focus on a mouse press (installed by the widgets).
using xtim_unfocus_fn = void (*)();
// Sets the palette's pulsing colours from p, 0.4 to 1.0 (installed by the graphics).
using xtim_pulse_fn = void (*)(float p);

// The widget and palette libraries sit above this one: they hand the clock their
// functions. Each returns the function installed before; null means none.
xtim_unfocus_fn xtim_set_unfocus_hook(xtim_unfocus_fn f);
xtim_pulse_fn xtim_set_pulse_hook(xtim_pulse_fn f);

constexpr int xtim_interval_count = 9;
// The interval flags' periods in seconds, in flag order.
extern const float xtim_intervals[xtim_interval_count];

class xtim_class {
public:
	xtim_class();
	xtim_class(const xtim_class&) = delete;
	xtim_class& operator=(const xtim_class&) = delete;

	void xtim_update();
	// Microseconds since the clock's first reading.
	long long microsecs();
	// Microseconds since *last (low 32 bits), storing now into *last; with null, since
	// one shared instant.
	int del_time(unsigned long long* last);
	// Writes one stage of the frame profile to the log while mnw's profiler switch is on.
	void profile_chart(std::string label, int total);
	// Month 0-11 and day from 1 of the day-of-year field (no leap years).
	void current_month_day(int* month, int* day);
	void xtim_hrs_min_sec(float seconds, float* hours, float* minutes, float* secs);

	// Replaces the microsecond counter (tests drive the clock by hand). Must come
	// before the first reading.
	void set_time_source(xtim_source_fn source) { source_ = source; }

	int first_frame = 1;  // cleared by the frame loop after its first application call
	int sim_word_a[3] = {};
	float rate_factor[2] = {1.0f, 1.0f};
	float frame_period[3] = {0.02f, 0.02f, 0.0f};  // smoothed seconds per frame
	float period_ratio = 1.0f;                     // the clamped ratio of the last step
	int frame_count = 0;                           // counted by the frame loop
	float elapsed = 0.0f;                          // real seconds since the first update
	float sim_time = 0.0f;                         // advanced by a host simulation only
	int sim_word_b[2] = {};
	float time_of_day[2] = {43200.0f, 43200.0f};
	int sim_word_c = 0;
	float period_limit = 0.0526315793f;  // 1/19
	int sim_word_d[2] = {};
	float day_of_year = 90.0f;  // 0-based
	int sim_word_e[2] = {};
	int sim_interval[xtim_interval_count] = {};   // follow sim_time
	int real_interval[xtim_interval_count] = {};  // follow elapsed

private:
	uint64_t read_source() const;
	void update_period();
	void update_mouse();

	xtim_source_fn source_ = nullptr;
	std::once_flag origin_once_;
	uint64_t origin_ = 0;
	bool started_ = false;
	double start_ = 0.0;
	float period_main_ = 0.02f;
	float period_dialog_ = 0.02f;
	float mark_main_ = 0.0f;
	float mark_dialog_ = 0.0f;
	int calls_main_ = 0;
	int calls_dialog_ = 0;
	float last_sim_fire_[xtim_interval_count] = {};
	float last_real_fire_[xtim_interval_count] = {};
	float last_mouse_x_ = 0.0f;
	float last_mouse_y_ = 0.0f;
	std::atomic<unsigned long long> shared_instant_{0};
	bool profile_started_ = false;
	long long profile_last_ = 0;
};

extern xtim_class xtim;
