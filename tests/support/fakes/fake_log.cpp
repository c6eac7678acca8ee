#include <gtest/gtest.h>

#include <algorithm>

#include "support/fakes/fakes.h"
#include "support/fakes/fake_record.h"
#include "support/scripted_window.h"

namespace kx_fake {

namespace {
std::vector<Call> g_calls;
}

int g_frame = 0;
std::vector<std::pair<std::string, int>> g_fired_buttons;
std::vector<std::pair<std::string, int>> g_clicked_radios;
int focus_takes_keys = 0;
int frame_budget = default_frame_budget;
std::function<void()> on_app_update;
std::function<void(const Call&)> on_call;

std::vector<Call>& calls() { return g_calls; }

std::vector<Call> calls_of(const std::string& name)
{
	std::vector<Call> out;
	for (const auto& c : g_calls)
		if (c.name == name) out.push_back(c);
	return out;
}

std::vector<std::string> names()
{
	std::vector<std::string> out;
	for (const auto& c : g_calls) out.push_back(c.name);
	return out;
}

std::function<int()> frame_source;

int frame() { return frame_source ? frame_source() : g_frame; }

void end_frame()
{
	// A modal loop nobody answers fails its test here, whatever window it runs in.
	if (++g_frame > frame_budget) {
		ADD_FAILURE() << "more than " << frame_budget << " frames drawn";
		throw kx_test::FrameBudgetExceeded();
	}
}

void reset()
{
	g_calls.clear();
	g_frame = 0;
	g_fired_buttons.clear();
	g_clicked_radios.clear();
	focus_takes_keys = 0;
	frame_budget = default_frame_budget;
	on_app_update = nullptr;
	on_call = nullptr;
}

void fire_button(const std::string& label, int frame) { g_fired_buttons.push_back({label, frame}); }
void click_radio(const std::string& label, int frame) { g_clicked_radios.push_back({label, frame}); }

void record(const char* name, std::vector<double> num, std::string text)
{
	g_calls.push_back({name, std::move(num), std::move(text), frame()});
	if (on_call) {
		const Call c = g_calls.back();
		on_call(c);
	}
}

bool scripted(const std::vector<std::pair<std::string, int>>& list, const std::string& label)
{
	return std::find(list.begin(), list.end(), std::make_pair(label, frame())) != list.end();
}

}  // namespace kx_fake
