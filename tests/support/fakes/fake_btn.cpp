// The widgets.
#include "runtime/hl_globals.h"
#include "support/fakes/fake_record.h"
#include "support/fakes/fakes.h"
#include "widgets/btn.h"

using kx_fake::record;

void BTN_begin_focus_ring() { record("BTN_begin_focus_ring", {}); }
void BTN_unfocus_any() { record("BTN_unfocus_any", {}); }
int BTN_dispatch_to_focus(int c, int v, int f)
{
	record("BTN_dispatch_to_focus", {double(c), double(v), double(f)});
	return kx_fake::focus_takes_keys;
}
// The window frame draws the window's title as it is when the frame is filled.
void BTN_fillwin(int flag, int kind) { record("BTN_fillwin", {double(flag), double(kind)}, stls.wind_title); }
void BTN_frame1(int style, float x, float y, float w, int c)
{
	record("BTN_frame1", {double(style), x, y, w, double(c)});
}
void BTN_frame2(int style, float x, float y, float w, float h, std::string title)
{
	record("BTN_frame2", {double(style), x, y, w, h}, title);
}
void BTN_subwin(float reserve, int style, float x, float y, float w, float h, std::string title, float*, float*)
{
	record("BTN_subwin", {reserve, double(style), x, y, w, h}, title);
}
int BTN_zap_boxes(int state)
{
	record("BTN_zap_boxes", {double(state)});
	return 0;
}
int BTN_action(float x, float y, float w, int down, int mode, std::string label, std::string side)
{
	record("BTN_action", {x, y, w, double(down), double(mode)}, label + "|" + side);
	return kx_fake::scripted(kx_fake::g_fired_buttons, label) ? 1 : 0;
}
int BTN_is_int(float x, float y, int* value, int option, std::string label)
{
	record("BTN_is_int", {x, y, double(option)}, label);
	if (!kx_fake::scripted(kx_fake::g_clicked_radios, label)) return 0;
	*value = option;
	return 1;
}
void BTN_util_element(float x, float y, float s, float t, float hw, float hh, int c)
{
	record("BTN_util_element", {x, y, s, t, hw, hh, double(c)});
}
