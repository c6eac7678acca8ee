#pragma once
// Recording stand-ins for the drawing layer, the widgets and the frame loop's hit flags
// and click handler, for the key and menu tests only. Every
// call is appended to the log with its numbers and its text; widgets that answer take
// the answer from a scripted function.
#include <functional>
#include <string>
#include <vector>

namespace fake_keys {

struct call {
	std::string fn;
	std::vector<float> args;
	std::string text;
};

std::vector<call>& log();
// The calls of one function, in order.
std::vector<call> calls(const std::string& fn);
void reset();

// BTN_dispatch_to_focus's answer (default: the focus ring takes nothing).
extern std::function<int(int character, int vkey, int flags)> focus_takes;
// Whether BTN_action or BTN_bool reports a click (default: never). BTN_bool flips its
// value when it does.
extern std::function<bool(const call&)> clicks;

}  // namespace fake_keys
