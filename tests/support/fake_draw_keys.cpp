#include "support/fake_draw_keys.h"

#include "graphics/ogl_draw.h"
#include "widgets/btn.h"

namespace fake_keys {

std::vector<call>& log()
{
	static std::vector<call> l;
	return l;
}

std::vector<call> calls(const std::string& fn)
{
	std::vector<call> out;
	for (const call& c : log())
		if (c.fn == fn) out.push_back(c);
	return out;
}

std::function<int(int, int, int)> focus_takes;
std::function<bool(const call&)> clicks;

void reset()
{
	log().clear();
	focus_takes = nullptr;
	clicks = nullptr;
}

namespace {
const call& add(std::string fn, std::vector<float> args, std::string text = "")
{
	log().push_back({std::move(fn), std::move(args), std::move(text)});
	return log().back();
}
bool fires(const call& c) { return clicks && clicks(c); }
}  // namespace

}  // namespace fake_keys

using fake_keys::add;

// The frame loop's hit flags and click handler.
int return_hit = 0;
int escape_hit = 0;
int delete_hit = 0;
void DIDIVI_handleclick(int forced) { add("DIDIVI_handleclick", {float(forced)}); }

int BTN_dispatch_to_focus(int character, int vkey, int flags)
{
	add("BTN_dispatch_to_focus", {float(character), float(vkey), float(flags)});
	return fake_keys::focus_takes ? fake_keys::focus_takes(character, vkey, flags) : 0;
}
void BTN_frame1(int style, float x, float y, float width, int colour)
{
	add("BTN_frame1", {float(style), x, y, width, float(colour)});
}
void BTN_frame2(int style, float x, float y, float width, float height, std::string title)
{
	add("BTN_frame2", {float(style), x, y, width, height}, title);
}
void BTN_subwin(float reserve, int style, float x, float y, float width, float height, std::string title,
                float* next_x, float* next_y)
{
	add("BTN_subwin", {reserve, float(style), x, y, width, height}, title);
	if (next_x) *next_x = x;
	if (next_y) *next_y = y + height;
}
void BTN_util_element(float x, float y, float s, float t, float half_w, float half_h, int colour)
{
	add("BTN_util_element", {x, y, s, t, half_w, half_h, float(colour)});
}
int BTN_action(float x, float y, float width, int down, int mode, std::string label, std::string side_text)
{
	const auto& c = add("BTN_action", {x, y, width, float(down), float(mode)}, label);
	(void)side_text;
	return fake_keys::fires(c) ? 1 : 0;
}
int BTN_bool(float x, float y, int* value, std::string label, int radio)
{
	const auto& c = add("BTN_bool", {x, y, float(*value), float(radio)}, label);
	if (!fake_keys::fires(c)) return 0;
	*value = !*value;
	return 1;
}
int BTN_vert_slider(int slider_index, float x, float y, float length, int lo, int hi, int* value)
{
	add("BTN_vert_slider", {float(slider_index), x, y, length, float(lo), float(hi), float(*value)});
	return 0;
}

void OGL_fillrect(int colour, float alpha, float x, float y, float w, float h)
{
	add("OGL_fillrect", {float(colour), alpha, x, y, w, h});
}
void OGL_line(int colour, float alpha, float x1, float y1, float x2, float y2)
{
	add("OGL_line", {float(colour), alpha, x1, y1, x2, y2});
}
float OGL_string(int colour, float x, float y, const std::string& s, float wrap_width, int charset, int align)
{
	add("OGL_string", {float(colour), x, y, wrap_width, float(charset), float(align)}, s);
	return y;
}
