#include "widgets/ogle.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace {

struct text_span {
	const char* begin;
	const char* end;
	int length() const { return int(end - begin); }
};

text_span text_of(OGLE_Rec* rec)
{
	text_span t{nullptr, nullptr};
	rec->GetText(rec, &t.begin, &t.end);
	if (!t.begin || t.end < t.begin) t.end = t.begin;
	return t;
}

struct bounds_rect {
	float left, bottom, right, top;
};

bounds_rect bounds_of(OGLE_Rec* rec, OGLE_GetVisibleBounds_f get)
{
	float b[4] = {0, 0, 0, 0};
	get(rec, b);
	return {b[0], b[1], b[2], b[3]};
}

bounds_rect visible_of(OGLE_Rec* rec) { return bounds_of(rec, rec->GetVisibleBounds); }
bounds_rect logical_of(OGLE_Rec* rec) { return bounds_of(rec, rec->GetLogicalBounds); }

// Character classes read bytes as unsigned: Latin-1 bytes are not negative indexes.
bool is_white(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool is_line_break(char c) { return c == '\n' || c == '\r'; }

int line_count(OGLE_Rec* rec) { return std::max<int>(1, int(rec->line_starts.size())); }

int line_start(OGLE_Rec* rec, int line) { return rec->line_starts.empty() ? 0 : rec->line_starts[size_t(line)]; }

// Where line `line` ends: the next line's start, or the text's end.
int line_end(OGLE_Rec* rec, int line, int text_length)
{
	return line + 1 < int(rec->line_starts.size()) ? rec->line_starts[size_t(line) + 1] : text_length;
}

float width_between(OGLE_Rec* rec, const text_span& t, int from, int to)
{
	if (to <= from) return 0;
	return rec->MeasureString(rec, t.begin + from, t.begin + to);
}

void normalise(OGLE_Rec* rec)
{
	if (rec->sel_end < rec->sel_start) {
		std::swap(rec->sel_start, rec->sel_end);
		rec->active_end = 1 - rec->active_end;
	}
	int length = text_of(rec).length();
	rec->sel_start = std::clamp(rec->sel_start, 0, length);
	rec->sel_end = std::clamp(rec->sel_end, 0, length);
}

int& moving_end(OGLE_Rec* rec) { return rec->active_end ? rec->sel_end : rec->sel_start; }

// Replaces the selection by the given bytes through the owner, then re-wraps and
// scrolls the caret into view.
void replace_selection(OGLE_Rec* rec, const char* begin, const char* end)
{
	int start = rec->sel_start;
	rec->ReplaceText(rec, rec->sel_start, rec->sel_end, begin, end);
	rec->sel_start = rec->sel_end = start + int(end - begin);
	rec->active_end = 1;
	OGLE_Repaginate(rec);
	normalise(rec);
	OGLE_RevealSelection(rec);
}

}  // namespace

OGLE_Rec* OGLE_Create(const OGLE_Callbacks& cb, void* refcon)
{
	auto* rec = new OGLE_Rec;
	static_cast<OGLE_Callbacks&>(*rec) = cb;
	rec->refcon = refcon;
	rec->sel_start = rec->sel_end = 0;
	rec->active_end = 1;
	rec->preferred_x = -1;
	return rec;
}

void OGLE_Destroy(OGLE_Rec* rec) { delete rec; }

void* OGLE_GetRef(OGLE_Rec* rec) { return rec->refcon; }

void OGLE_GetSelection(OGLE_Rec* rec, int* start, int* end)
{
	if (start) *start = rec->sel_start;
	if (end) *end = rec->sel_end;
}

void OGLE_SetSelection(OGLE_Rec* rec, int start, int end)
{
	rec->sel_start = start;
	rec->sel_end = end;
	normalise(rec);
}

int OGLE_CharPosToLine(OGLE_Rec* rec, int pos)
{
	// Before the first wrap there are no starts yet: everything is line 0.
	const std::vector<int>& starts = rec->line_starts;
	auto it = std::upper_bound(starts.begin(), starts.end(), pos);
	return it == starts.begin() ? 0 : int(it - starts.begin()) - 1;
}

int OGLE_CoordToCharPos(OGLE_Rec* rec, float x, float y)
{
	text_span t = text_of(rec);
	bounds_rect logical = logical_of(rec);
	x = std::clamp(x, logical.left, std::max(logical.left, logical.right));
	float height = rec->GetLineHeight(rec);
	int line = height > 0 ? int(std::floor((logical.top - y) / height)) : 0;
	if (line < 0) return 0;
	if (line >= line_count(rec)) return t.length();
	int ls = line_start(rec, line), le = line_end(rec, line, t.length());
	int fit = rec->FitStringFwd(rec, t.begin + ls, t.begin + le, x - logical.left);
	return ls + std::clamp(fit, 0, le - ls);
}

int OGLE_CharPosVerticalAdjust(OGLE_Rec* rec, int pos, int delta, float* preferred_x)
{
	text_span t = text_of(rec);
	pos = std::clamp(pos, 0, t.length());
	int line = OGLE_CharPosToLine(rec, pos);
	if (*preferred_x == -1) *preferred_x = width_between(rec, t, line_start(rec, line), pos);
	int target = line + delta;
	if (target < 0) return 0;
	if (target >= line_count(rec)) return t.length();
	int ls = line_start(rec, target), le = line_end(rec, target, t.length());
	int fit = rec->FitStringFwd(rec, t.begin + ls, t.begin + le, *preferred_x);
	return ls + std::clamp(fit, 0, le - ls);
}

void OGLE_Click(OGLE_Rec* rec, float x, float y, int extend)
{
	rec->preferred_x = -1;
	int p = OGLE_CoordToCharPos(rec, x, y);
	if (!extend) {
		rec->sel_start = rec->sel_end = p;
		rec->active_end = 1;
	} else if (p < rec->sel_start) {
		rec->sel_start = p;
		rec->active_end = 0;
	} else {
		rec->sel_end = p;
		rec->active_end = 1;
	}
	normalise(rec);
	OGLE_RevealSelection(rec);
}

void OGLE_Drag(OGLE_Rec* rec, float x, float y)
{
	rec->preferred_x = -1;
	moving_end(rec) = OGLE_CoordToCharPos(rec, x, y);
	normalise(rec);
	OGLE_RevealSelection(rec);
}

void OGLE_Key(OGLE_Rec* rec, char code, int extend)
{
	if (code != ogle_key_up && code != ogle_key_down) rec->preferred_x = -1;
	bool caret = rec->sel_start == rec->sel_end;
	switch (code) {
	case ogle_key_backspace:
		if (!caret) {
			replace_selection(rec, nullptr, nullptr);
		} else if (rec->sel_start > 0) {
			--rec->sel_start;
			replace_selection(rec, nullptr, nullptr);
		} else {
			rec->active_end = 1;
			OGLE_Repaginate(rec);
			OGLE_RevealSelection(rec);
		}
		return;
	case ogle_key_left:
		if (extend) --moving_end(rec);
		else if (caret) rec->sel_start = rec->sel_end = rec->sel_start - 1;
		else rec->sel_end = rec->sel_start;
		break;
	case ogle_key_right:
		if (extend) ++moving_end(rec);
		else if (caret) rec->sel_start = rec->sel_end = rec->sel_end + 1;
		else rec->sel_start = rec->sel_end;
		break;
	case ogle_key_up:
	case ogle_key_down: {
		int delta = code == ogle_key_up ? -1 : 1;
		if (extend) {
			int& end = moving_end(rec);
			end = OGLE_CharPosVerticalAdjust(rec, end, delta, &rec->preferred_x);
		} else if (caret) {
			int p = OGLE_CharPosVerticalAdjust(rec, rec->sel_start, delta, &rec->preferred_x);
			rec->sel_start = rec->sel_end = p;
		} else if (delta < 0) {
			rec->sel_end = rec->sel_start;
		} else {
			rec->sel_start = rec->sel_end;
		}
		break;
	}
	default:
		replace_selection(rec, &code, &code + 1);
		return;
	}
	normalise(rec);
	OGLE_RevealSelection(rec);
}

void OGLE_ReplaceText(OGLE_Rec* rec, int start, int end, const char* new_begin, const char* new_end)
{
	// A range outside the text is cut to it, so the owner never sees one.
	int length = text_of(rec).length();
	start = std::clamp(start, 0, length);
	end = std::clamp(end, start, length);
	int new_length = new_begin && new_end > new_begin ? int(new_end - new_begin) : 0;
	int delta = new_length - (end - start);
	if (end <= rec->sel_start) {
		rec->sel_start += delta;
		rec->sel_end += delta;
	} else if (start <= rec->sel_start) {
		rec->sel_end += delta;
		if (rec->sel_end < rec->sel_start) rec->sel_start = rec->sel_end = std::max(rec->sel_start + delta, start);
	}
	rec->ReplaceText(rec, start, end, new_begin, new_length ? new_end : new_begin);
	OGLE_Repaginate(rec);
	normalise(rec);
}

void OGLE_Repaginate(OGLE_Rec* rec)
{
	text_span t = text_of(rec);
	const int length = t.length();
	bounds_rect logical = logical_of(rec);
	const float width = logical.right - logical.left;
	const float height = rec->GetLineHeight(rec);
	std::vector<int>& starts = rec->line_starts;
	if (starts.empty()) starts.push_back(0);
	starts[0] = 0;

	size_t lines = 1;
	int p = 0;
	while (p < length) {
		int n = 0, cur = p;
		float w = 0;
		for (;;) {
			int q = cur;
			while (q < length && is_white(t.begin[q]) && !is_line_break(t.begin[q])) ++q;
			n += q - cur;
			if (q == length) break;
			if (is_line_break(t.begin[q])) {
				++n;
				break;
			}
			const char* word_end = rec->WordBreak(rec, t.begin + q, t.end);
			// A word is at least one character, so a wrap always moves on.
			int r = std::clamp(int(word_end - t.begin), q + 1, length);
			w += width_between(rec, t, cur, q) + width_between(rec, t, q, r);
			if (w > width) {
				if (n == 0) n = 1;
				break;
			}
			n += r - q;
			cur = r;
			if (cur == length) break;
		}
		int next = p + n;
		if (next >= length) break;
		if (lines < starts.size()) starts[lines] = next;
		else starts.push_back(next);
		++lines;
		p = next;
	}
	starts.resize(lines);
	rec->SetLogicalHeight(rec, float(lines) * height);
}

void OGLE_RevealSelection(OGLE_Rec* rec)
{
	text_span t = text_of(rec);
	bounds_rect visible = visible_of(rec), logical = logical_of(rec);
	float height = rec->GetLineHeight(rec);
	int p = std::clamp(rec->active_end ? rec->sel_end : rec->sel_start, 0, t.length());
	int line = OGLE_CharPosToLine(rec, p);
	float x = logical.left + width_between(rec, t, line_start(rec, line), p);
	float y = logical.top - float(line - rec->active_end + 1) * height;

	const float h_now = visible.left - logical.left, v_now = visible.bottom - logical.bottom;
	float h = h_now, v = v_now;
	if (x < visible.left) h = x - logical.left;
	if (x > visible.right) h = x - logical.left - (visible.right - visible.left);
	if (y < visible.bottom) v = y - logical.bottom;
	if (y > visible.top) v = y - logical.bottom - (visible.top - visible.bottom);
	if (h != h_now || v != v_now) {
		float point[2] = {h, v};
		rec->ScrollTo(rec, point);
	}
}

void OGLE_Draw(OGLE_Rec* rec, int draw_caret)
{
	text_span t = text_of(rec);
	bounds_rect visible = visible_of(rec), logical = logical_of(rec);
	float height = rec->GetLineHeight(rec);
	if (height <= 0) return;
	const int count = line_count(rec);
	int first = std::max(0, int(std::floor((logical.top - visible.top) / height)));
	int last = std::min(count, int(std::ceil((logical.top - visible.bottom) / height)));
	auto band_bottom = [&](int line) { return logical.top - float(line + 1) * height; };
	const int start = rec->sel_start, end = rec->sel_end;

	if (start < end) {
		for (int i = first; i < last; ++i) {
			int ls = line_start(rec, i), le = line_end(rec, i, t.length());
			if (ls >= end) break;
			float x1, x2;
			if (ls < start && start < le) {
				x1 = logical.left + width_between(rec, t, ls, start);
				x2 = end < le ? logical.left + width_between(rec, t, ls, end) : logical.right;
			} else if (start <= ls) {
				x1 = logical.left;
				x2 = end <= le ? logical.left + width_between(rec, t, ls, end) : logical.right;
			} else {
				continue;
			}
			float rect[4] = {x1, band_bottom(i), x2, band_bottom(i) + height};
			rec->DrawSelection(rec, rect);
		}
	}
	for (int i = first; i < last; ++i) {
		int ls = line_start(rec, i), le = line_end(rec, i, t.length());
		rec->DrawString(rec, t.begin + ls, t.begin + le, logical.left, band_bottom(i));
	}
	if (draw_caret && start == end) {
		// A caret at a line's end is drawn at the start of the next line, which is where
		// typing would put the next character.
		int line = OGLE_CharPosToLine(rec, start);
		float x = logical.left + width_between(rec, t, line_start(rec, line), start);
		float rect[4] = {x, band_bottom(line), x, band_bottom(line) + height};
		rec->DrawSelection(rec, rect);
	}
}

// ---- the class form ----

OGLE::OGLE()
{
	static const OGLE_Callbacks thunks = {
		GetVisibleBoundsCB, GetLogicalBoundsCB, SetLogicalHeightCB, ScrollToCB, GetTextCB,
		ReplaceTextCB,      GetLineHeightCB,    MeasureStringCB,    FitStringFwdCB, FitStringRevCB,
		DrawStringCB,       DrawSelectionCB,    WordBreakCB,
	};
	rec_ = OGLE_Create(thunks, this);
}

OGLE::~OGLE() { OGLE_Destroy(rec_); }

void OGLE::Key(char code, int extend) { OGLE_Key(rec_, code, extend); }
void OGLE::Repaginate() { OGLE_Repaginate(rec_); }
void OGLE::RevealSelection() { OGLE_RevealSelection(rec_); }
void OGLE::Draw(int draw_caret) { OGLE_Draw(rec_, draw_caret); }
void OGLE::Click(float x, float y, int extend) { OGLE_Click(rec_, x, y, extend); }
void OGLE::Drag(float x, float y) { OGLE_Drag(rec_, x, y); }
void OGLE::GetSelection(int* start, int* end) { OGLE_GetSelection(rec_, start, end); }
void OGLE::SetSelection(int start, int end) { OGLE_SetSelection(rec_, start, end); }
void OGLE::DoReplaceText(int start, int end, const char* new_begin, const char* new_end)
{
	OGLE_ReplaceText(rec_, start, end, new_begin, new_end);
}

namespace {
OGLE* self_of(OGLE_Rec* rec) { return static_cast<OGLE*>(OGLE_GetRef(rec)); }
}  // namespace

void OGLE::GetVisibleBoundsCB(OGLE_Rec* rec, float bounds[4]) { self_of(rec)->GetVisibleBounds(bounds); }
void OGLE::GetLogicalBoundsCB(OGLE_Rec* rec, float bounds[4]) { self_of(rec)->GetLogicalBounds(bounds); }
void OGLE::SetLogicalHeightCB(OGLE_Rec* rec, float height) { self_of(rec)->SetLogicalHeight(height); }
void OGLE::ScrollToCB(OGLE_Rec* rec, float point[2]) { self_of(rec)->ScrollTo(point); }
void OGLE::GetTextCB(OGLE_Rec* rec, const char** begin, const char** end) { self_of(rec)->GetText(begin, end); }
void OGLE::ReplaceTextCB(OGLE_Rec* rec, int start, int end, const char* new_begin, const char* new_end)
{
	self_of(rec)->ReplaceText(start, end, new_begin, new_end);
}
float OGLE::GetLineHeightCB(OGLE_Rec* rec) { return self_of(rec)->GetLineHeight(); }
float OGLE::MeasureStringCB(OGLE_Rec* rec, const char* begin, const char* end)
{
	return self_of(rec)->MeasureString(begin, end);
}
int OGLE::FitStringFwdCB(OGLE_Rec* rec, const char* begin, const char* end, float width)
{
	return self_of(rec)->FitStringFwd(begin, end, width);
}
int OGLE::FitStringRevCB(OGLE_Rec* rec, const char* begin, const char* end, float width)
{
	return self_of(rec)->FitStringRev(begin, end, width);
}
void OGLE::DrawStringCB(OGLE_Rec* rec, const char* begin, const char* end, float x, float y)
{
	self_of(rec)->DrawString(begin, end, x, y);
}
void OGLE::DrawSelectionCB(OGLE_Rec* rec, float rect[4]) { self_of(rec)->DrawSelection(rect); }
const char* OGLE::WordBreakCB(OGLE_Rec* rec, const char* begin, const char* end)
{
	return self_of(rec)->WordBreak(begin, end);
}
