// Hit-testing and hover help shared by every widget.
#include "runtime/hl_globals.h"
#include "widgets/butn_core.h"

namespace {
constexpr int kNoMenuOpen = -1;
}

bool BTN_takes_mouse() { return mnw.menu_state == kNoMenuOpen; }

bool BTN_hover(const BTN_box& box) { return BTN_takes_mouse() && box.contains(mnw.mouse_x, mnw.mouse_y); }

bool BTN_clicked(const BTN_box& box) { return mnw.mouse_down && BTN_hover(box); }

bool BTN_hover_help(const BTN_box& box, const std::string& help)
{
	if (!BTN_hover(box)) return false;
	stls.mouse_help = help;
	return true;
}
