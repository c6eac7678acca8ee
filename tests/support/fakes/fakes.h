#pragma once
// Fakes of the widgets and the wizard hook the shell calls,
// for the shell's tests only (never linked with the real units). Each call is recorded
// with its arguments and the frame it came in; results are scripted. One file per
// neighbour unit, so a fake goes when its unit lands.
#include <functional>
#include <string>
#include <vector>

namespace kx_fake {

struct Call {
	std::string name;
	std::vector<double> num;  // numeric arguments in order
	std::string text;         // the text argument (label, string), if any
	int frame;
};

// Every call so far, in order.
std::vector<Call>& calls();
// The calls of one name.
std::vector<Call> calls_of(const std::string& name);
// Names of every call, in order (the frame order as a list).
std::vector<std::string> names();
// The current frame: frame_source's answer when set (the scripted window's swaps),
// else the frames counted by end_frame.
int frame();
extern std::function<int()> frame_source;
// Counts one frame for tests whose swaps reach a real window; fails the test (throws
// FrameBudgetExceeded) past frame_budget.
void end_frame();

// Forgets calls and scripts; the counted frames back to 0 (frame_source stays).
void reset();

// BTN_action with this label returns 1 in this frame.
void fire_button(const std::string& label, int frame);
// BTN_is_int with this label is clicked in this frame (its int gets the option).
void click_radio(const std::string& label, int frame);
// Frames a test may draw before it fails (reset() restores the default).
constexpr int default_frame_budget = 1000;
extern int frame_budget;
// BTN_dispatch_to_focus result.
extern int focus_takes_keys;
// Run by APP_update every frame (after recording it).
extern std::function<void()> on_app_update;
// Run after every recorded call.
extern std::function<void(const Call&)> on_call;

}  // namespace kx_fake
