// The keyboard focus ring: rebuilt every frame by the widgets that take keys, in drawing
// order; the keyboard layer offers every key to it first.
#include <vector>

#include "runtime/hl_globals.h"
#include "runtime/xtim.h"
#include "widgets/btn.h"
#include "widgets/butn_core.h"

int focus_id = 0;
int wind_focus = 0;

namespace {

std::vector<focus_info_t> focus_ring;

constexpr int kAlertWindow = 994;

// Virtual keys the ring tests before looking at the character.
enum {
	vk_backspace = 8,
	vk_tab = 9,
	vk_return = 13,
	vk_escape = 27,
	vk_nav_first = 33,  // page up, page down, end, home and the four arrows
	vk_nav_last = 40,
	vk_delete = 46,
	vk_keypad_enter = 187,
};

// Printable is the C locale's 32 to 126: bytes above 127 are never printable, so no
// typed Latin-1 character reaches a field that takes only printable characters.
bool is_printable(int c) { return c >= 32 && c <= 126; }

bool tab_focuses_first(int vkey, int flags)
{
	if (vkey != vk_tab || (flags & btn_key_up) || focus_ring.empty()) return false;
	focus_id = focus_ring.front().id;
	return true;
}

}  // namespace

int BTN_accept_bit(int c, int vkey)
{
	struct vkey_row {
		int first, last, bit;
	};
	// Tested in this order; the first row that matches decides.
	static const vkey_row vkey_rows[] = {
		{vk_escape, vk_escape, btn_accept_escape},
		{vk_delete, vk_delete, btn_accept_delete},
		{vk_keypad_enter, vk_keypad_enter, btn_accept_return},
		{vk_nav_first, vk_nav_last, btn_accept_nav},
		{vk_tab, vk_tab, btn_accept_tab},
		{vk_return, vk_return, btn_accept_return},
		{vk_backspace, vk_backspace, btn_accept_delete},
	};
	for (const vkey_row& r : vkey_rows)
		if (vkey >= r.first && vkey <= r.last) return r.bit;
	if (c == '+' || c == '-') return btn_accept_sign;
	if (c >= '0' && c <= '9') return btn_accept_digit;
	if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return btn_accept_letter;
	if (is_printable(c)) return btn_accept_printable;
	return btn_accept_other;
}

int BTN_key_queue::current_frame() { return xtim.frame_count; }

void BTN_begin_focus_ring()
{
	focus_ring.clear();
	wind_focus = 0;
}

int BTN_focus_ring_size() { return int(focus_ring.size()); }

int BTN_register_focus(int id, int* char_slots, int* vkey_slots, int* flag_slots, int* id_slots, int* counter,
                       int capacity, int accept_mask, int take_focus)
{
	focus_ring.push_back({id, char_slots, vkey_slots, flag_slots, id_slots, counter, capacity, accept_mask, nullptr});
	if (take_focus) focus_id = id;
	return id == focus_id ? 1 : 0;
}

int BTN_register_focus(int id, BTN_key_queue& q, int accept_mask, int take_focus)
{
	int r = BTN_register_focus(id, q.char_slot, q.vkey_slot, q.flag_slot, q.id_slot, &q.ctr_slot,
	                           BTN_key_queue::capacity, accept_mask, take_focus);
	focus_ring.back().frame_slots = q.frame_slot;
	return r;
}

int BTN_dispatch_to_focus(int c, int vkey, int flags)
{
	if (mnw.current_window == kAlertWindow) return 0;
	if (focus_id == 0) return tab_focuses_first(vkey, flags) ? 1 : 0;

	const int n = int(focus_ring.size());
	int index = 0;
	while (index < n && focus_ring[size_t(index)].id != focus_id) ++index;
	if (index == n) {
		// The focused widget was not drawn last frame: its focus is gone.
		focus_id = 0;
		return tab_focuses_first(vkey, flags) ? 1 : 0;
	}
	focus_info_t& f = focus_ring[size_t(index)];

	if (vkey == vk_tab && !(f.accept_mask & btn_accept_tab)) {
		if (flags & btn_key_up) return 0;
		int next = index + ((flags & btn_key_shift) ? -1 : 1);
		next = ((next % n) + n) % n;
		focus_id = focus_ring[size_t(next)].id;
		return 1;
	}
	if (!(f.accept_mask & BTN_accept_bit(c, vkey))) return 0;

	// A full queue drops the key, but the key was meant for the field: it must not go on
	// to act as a key command or a dialog key.
	int& i = *f.counter;
	if (i >= f.capacity) return 1;
	f.char_slots[i] = c;
	f.vkey_slots[i] = vkey;
	f.flag_slots[i] = flags;
	f.id_slots[i] = focus_id;
	if (f.frame_slots) f.frame_slots[i] = xtim.frame_count;
	++i;
	return 1;
}

void BTN_unfocus_any() { focus_id = 0; }

void BTN_focus_any() { focus_id = focus_ring.empty() ? 0 : focus_ring.front().id; }

void BTN_window_has_focus() { wind_focus = 1; }

int BTN_no_focus_yet() { return (wind_focus == 0 && focus_id == 0) ? 1 : 0; }
