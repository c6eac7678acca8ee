// The one-line text field. Every field shares one editing engine; the field that holds
// the focus binds the engine to its own string, position and width for its call.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "graphics/colr.h"
#include "graphics/oglp.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_globals.h"
#include "widgets/btn.h"
#include "widgets/butn_core.h"
#include "widgets/butn_geometry.h"
#include "widgets/ogle.h"

// The binding the engine's callbacks read: set by the focused field on each call.
int OGLE_x, OGLE_y, OGLE_entry_dx;
std::string* OGLE_input;
float OGLE_dx, OGLE_dy;
int OGLE_edit;

namespace {

constexpr float kLineHeight = 11;
constexpr float kVisibleDrop = 2;        // the visible band starts this far below the baseline
constexpr float kLogicalSlack = 1024;    // the text never wraps inside a field
constexpr int kTextColour = 45;
constexpr int kSelectionColour = 8;
constexpr float kClickHeight = 8;
constexpr int kFieldBox = 9;
constexpr float kBoxShift = 2, kBoxRise = 3, kBoxGrow = 10;
constexpr float kLabelGap = btn_field_label_gap, kMidGap = 6;
constexpr float kScissorLeft = 1, kScissorDrop = 3, kScissorGrow = 2, kScissorHeight = 11;
constexpr size_t kCharFieldLimit = 499;  // the character-array form's arrays hold 500 bytes

// Characters and virtual keys the field hands to the engine.
constexpr int kBackspace = 8, kFirstArrow = 28, kLastArrow = 31, kFirstPrintable = 32, kLastPrintable = 126;
constexpr int kVkDelete = 46, kVkPageUp = 33, kVkHome = 36;

float advance(char c) { return ui_char_advance[static_cast<unsigned char>(c)]; }

void OGLE_GetVisibleBounds(OGLE_Rec*, float b[4])
{
	b[0] = float(OGLE_x);
	b[1] = float(OGLE_y) - kVisibleDrop;
	b[2] = float(OGLE_x + OGLE_entry_dx);
	b[3] = b[1] + kLineHeight;
}

float text_width(const char* b, const char* e)
{
	float w = 0;
	for (; b < e; ++b) w += advance(*b);
	return w;
}

void OGLE_GetLogicalBounds(OGLE_Rec* rec, float b[4])
{
	OGLE_GetVisibleBounds(rec, b);
	b[0] -= OGLE_dx;
	b[1] -= OGLE_dy;
	b[2] -= OGLE_dx;
	b[3] -= OGLE_dy;
	// However long the text, the field shows one line: the logical area is never
	// narrower than the text itself.
	float text = OGLE_input ? text_width(OGLE_input->data(), OGLE_input->data() + OGLE_input->size()) : 0;
	b[2] = std::max(b[2] + kLogicalSlack, b[0] + text + 1);
}

void OGLE_SetLogicalHeight(OGLE_Rec*, float) {}

void OGLE_ScrollTo(OGLE_Rec*, float p[2])
{
	OGLE_dx = p[0];
	OGLE_dy = p[1];
}

void OGLE_GetText(OGLE_Rec*, const char** b, const char** e)
{
	static const char empty = 0;
	*b = *e = &empty;
	if (!OGLE_input) return;
	*b = OGLE_input->data();
	*e = OGLE_input->data() + OGLE_input->size();
}

void OGLE_ReplaceTextFunc(OGLE_Rec*, int start, int end, const char* nb, const char* ne)
{
	OGLE_edit = 1;
	if (!OGLE_input) return;
	OGLE_input->replace(size_t(start), size_t(end - start), nb && ne > nb ? std::string(nb, ne) : std::string());
}

float OGLE_GetLineHeight(OGLE_Rec*) { return kLineHeight; }

float OGLE_MeasureString(OGLE_Rec*, const char* b, const char* e) { return text_width(b, e); }

int OGLE_FitStringFwd(OGLE_Rec*, const char* b, const char* e, float width)
{
	if (b >= e || width <= 0) return 0;
	int n = 0;
	for (const char* p = b; p < e; ++p) {
		++n;
		width -= advance(*p);
		if (width <= 0) return n;
	}
	return n;
}

int OGLE_FitStringRev(OGLE_Rec*, const char* b, const char* e, float width)
{
	if (b >= e) return 0;
	if (width <= 0) return 1;
	int n = 0;
	for (const char* p = e; p > b; --p) {
		++n;
		width -= advance(p[-1]);
		if (width <= 0) return n;
	}
	return n;
}

void OGLE_DrawString(OGLE_Rec*, const char* b, const char* e, float, float)
{
	OGL_string(kTextColour, float(OGLE_x) - OGLE_dx, float(OGLE_y) - OGLE_dy, std::string(b, e), 0,
	           charset_UI_diff_space, 0);
}

void OGLE_DrawSelection(OGLE_Rec*, float r[4])
{
	if (r[0] == r[2])
		OGL_line(kTextColour, colr.pulse, r[0], r[1], r[2], r[3]);
	else
		OGL_fillrect(kSelectionColour, 1, r[0], r[1], r[2] - r[0], r[3] - r[1]);
}

const char* OGLE_WordBreak(OGLE_Rec*, const char* b, const char* e)
{
	while (b < e && std::isspace(static_cast<unsigned char>(*b))) ++b;
	while (b < e && !std::isspace(static_cast<unsigned char>(*b))) ++b;
	return b;
}

const OGLE_Callbacks OGLE_cbs = {
    OGLE_GetVisibleBounds, OGLE_GetLogicalBounds, OGLE_SetLogicalHeight, OGLE_ScrollTo, OGLE_GetText,
    OGLE_ReplaceTextFunc,  OGLE_GetLineHeight,    OGLE_MeasureString,    OGLE_FitStringFwd, OGLE_FitStringRev,
    OGLE_DrawString,       OGLE_DrawSelection,    OGLE_WordBreak};

OGLE_Rec* engine = nullptr;
int last_focused_id = 0;
BTN_key_queue field_keys;

// One queued key, as the field hands it to the engine. Only Backspace, Delete, the
// arrows and printable characters edit; Home, End and the page keys are dropped rather
// than inserted as control bytes. A printable character is text the keyboard layout
// typed, whatever modifier helped (AltGr arrives as Option and types '@' on a German
// keyboard); an editing key with Option or Control held is dropped.
void apply_key(const BTN_key& k)
{
	const int extend = k.flags & btn_key_shift;
	const int c = k.character;
	if (c >= kFirstPrintable && c <= kLastPrintable) {
		OGLE_Key(engine, char(c), extend);
		return;
	}
	if (k.flags & (btn_key_option | btn_key_control)) return;
	if (k.vkey == kVkDelete) {
		// Delete takes the character after the caret (or the selection).
		int s = 0, e = 0;
		OGLE_GetSelection(engine, &s, &e);
		if (s == e) {
			if (e >= int(OGLE_input->size())) return;
			OGLE_SetSelection(engine, s, s + 1);
		}
		OGLE_Key(engine, char(kBackspace), 0);
		return;
	}
	if (k.vkey >= kVkPageUp && k.vkey <= kVkHome) return;
	if (c == kBackspace || (c >= kFirstArrow && c <= kLastArrow)) OGLE_Key(engine, char(c), extend);
}

void bind(float x, float y, std::string* text, float width)
{
	OGLE_x = int(x);
	OGLE_y = int(y);
	OGLE_input = text;
	OGLE_entry_dx = int(width);
}

}  // namespace

int BTN_enterstring(float x, float y, std::string* text, int max_len, std::string label, float width,
                    int take_focus)
{
	const int id = BTN_position_id(x, y);
	if (!engine) engine = OGLE_Create(OGLE_cbs, nullptr);

	const bool clicked = BTN_clicked(BTN_box{x, y, x + width, y + kClickHeight});
	const bool asks = clicked || (take_focus && BTN_no_focus_yet());
	const int focused = BTN_register_focus(id, field_keys, btn_mask_text_field, asks ? 1 : 0);
	OGLE_edit = 0;

	if (focused) {
		bind(x, y, text, width);
		if (id != last_focused_id) {
			OGLE_dx = OGLE_dy = 0;
			if (!clicked) OGLE_SetSelection(engine, 0, int(text->size()));
		}
		last_focused_id = id;
		// The caller may have changed the string since the last frame.
		int s = 0, e = 0;
		OGLE_GetSelection(engine, &s, &e);
		const int len = int(text->size());
		e = std::clamp(e, 0, len);
		s = std::clamp(s, 0, e);
		OGLE_SetSelection(engine, s, e);
		OGLE_Repaginate(engine);
		if (mnw.mouse_down)
			OGLE_Click(engine, mnw.mouse_x, mnw.mouse_y, 0);
		else if (mnw.mouse_held)
			OGLE_Drag(engine, mnw.mouse_x, mnw.mouse_y);
	}
	// Keys queued for this field edit only while it owns the engine, bound to this call's
	// string; keys left over after the focus moved on are dropped, never applied to
	// whichever string the engine was last bound to.
	if (focused)
		field_keys.drain(id, apply_key);
	else
		field_keys.discard(id);

	BTN_label l = BTN_split_label(label);
	BTN_frame1(kFieldBox, x + width / 2 - kBoxShift, y + kBoxRise, width + kBoxGrow, 0);
	BTN_util_draw_label(x - kLabelGap, y, 0, l.text, 0);
	BTN_util_draw_label(x + width + kMidGap, y, 2, l.mid, 0);
	OGL_scissors(x - kScissorLeft, y - kScissorDrop, width + kScissorGrow, kScissorHeight);
	if (focused)
		OGLE_Draw(engine, 1);
	else
		OGL_string(kTextColour, x, y, *text, 0, charset_UI_diff_space, 0);
	OGL_scissors_end();

	if (OGLE_edit && max_len >= 0 && text->size() > size_t(max_len)) {
		text->resize(size_t(max_len));
		if (focused) {
			OGLE_SetSelection(engine, engine->sel_start, engine->sel_end);  // clamps to the cut text
			OGLE_Repaginate(engine);
		}
	}
	if (focused) OGLE_input = nullptr;
	return OGLE_edit;
}

OGLE_Rec* BTN_field_engine() { return engine; }

int BTN_enterstring(float x, float y, char* text, int max_len, std::string label, float width, int take_focus)
{
	std::string s(text, strnlen(text, kCharFieldLimit + 1));
	// The array holds 500 bytes: never more than 499 characters go back into it.
	const int limit = std::min(max_len, int(kCharFieldLimit));
	int r = BTN_enterstring(x, y, &s, limit, label, width, take_focus);
	if (s.size() > kCharFieldLimit) s.resize(kCharFieldLimit);
	std::memcpy(text, s.c_str(), s.size() + 1);
	return r;
}
