#include "wizard/main_engine.h"

#include "runtime/hl_globals.h"
#include "wizard/main_trace.h"

namespace {
constexpr float kProgressStart = 0.04f;  // the fill never starts empty
constexpr float kProgressSpan = 0.96f;
constexpr float kProgressLeast = 20.8f;
screen_fn g_last = nullptr;
}  // namespace

float wizard_progress_width(float progress)
{
	if (!(progress >= 0.0f)) return -1.0f;
	const float f = kProgressStart + kProgressSpan * progress;
	if (f < kProgressStart) return kProgressLeast;
	if (f > 1.0f) return wizard_progress_width_full;
	return wizard_progress_width_full * f;
}

float interface_rect_row(float v, float h, int hot, int inside, int held)
{
	if (!hot || !inside) return v;
	return held ? v - (h + 1) : v - 2 * (h + 1);
}

bool interface_rect_inside(float x, float y, float w, float h, float mx, float my)
{
	return mx >= x && mx <= x + w && my >= y && my <= y + h;
}

bool wizard_shows_quit(const wizard_screen& s) { return s.next_screen != wizard_quit; }

bool wizard_begin_frame(wizard_screen& s, int& result)
{
	result = 0;
	if (!g_wizard) {
		app_done = 1;
		return false;
	}
	s = wizard_screen{};
	const int first = g_wizard != g_last;
	const screen_fn called = g_wizard;
	result = called(first, s);
	g_last = called;
	wizard_trace_screen(mnw.wind_id, called, s);
	return true;
}

void wizard_end_frame(const wizard_screen& s, int result, const wizard_clicks& clicks)
{
	if (clicks.choice >= 0 && clicks.choice < static_cast<int>(s.choice_targets.size()))
		g_wizard = s.choice_targets[static_cast<size_t>(clicks.choice)];
	if (clicks.quit && wizard_shows_quit(s)) {
		if (s.on_cancel) s.on_cancel();
		app_done = 1;
	}
	if (clicks.back && s.back_screen) g_wizard = s.back_screen;
	if (clicks.next && s.next_screen) g_wizard = s.next_screen;
	if (result && s.next_screen) g_wizard = s.next_screen;
}

void wizard_reset_engine() { g_last = nullptr; }
