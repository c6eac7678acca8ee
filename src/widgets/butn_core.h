#pragma once
// The behaviour every widget shares, apart from drawing: inclusive hit boxes, the click
// rule (a mouse-down this frame, inside, while no in-window menu is open), hover help,
// position ids, and the key queue a key-taking widget kind drains when it is drawn.
// Hit-testing and focus never depend on what was drawn.
#include <string>

// A rectangle in the current window's interface units; both edges count as inside.
struct BTN_box {
	float x1, y1, x2, y2;
	bool contains(float x, float y) const { return x >= x1 && x <= x2 && y >= y1 && y <= y2; }
};

// The box of half-sizes hw, hh around (x, y).
inline BTN_box BTN_box_around(float x, float y, float hw, float hh) { return {x - hw, y - hh, x + hw, y + hh}; }

// Widgets take the mouse only while no in-window menu or pop-up list is open.
bool BTN_takes_mouse();
// The mouse is over the box and widgets take the mouse.
bool BTN_hover(const BTN_box& box);
// A mouse-down this frame over the box, while widgets take the mouse.
bool BTN_clicked(const BTN_box& box);
// While the mouse is over the box, the label's help part becomes the frame's mouse help,
// even when it is empty. Returns whether the mouse is over it.
bool BTN_hover_help(const BTN_box& box, const std::string& help);

// The identity of a key-taking widget: its position, as the text field, the digit and
// character fields and the list with search compute it.
inline int BTN_position_id(float x, float y) { return int(y) + (int(x) << 13); }

// Key flags of the keyboard layer.
enum {
	btn_key_shift = 1,
	btn_key_option = 2,
	btn_key_control = 4,
	btn_key_down = 8,
	btn_key_up = 16,
};

// One queued key event.
struct BTN_key {
	int character;
	int vkey;
	int flags;
};

// A widget kind's key queue: one per kind, shared by every instance; each slot records
// which instance (id) it was queued for and in which frame.
struct BTN_key_queue {
	static constexpr int capacity = 64;
	int char_slot[capacity];
	int vkey_slot[capacity];
	int flag_slot[capacity];
	int id_slot[capacity];
	int frame_slot[capacity];
	int ctr_slot = 0;

	// Hands every key queued for `id` to `take`, in queue order, skipping key-ups, and
	// removes them. Keys queued for other instances stay; keys older than the previous
	// frame are dropped, so a slot whose widget stopped drawing never blocks the queue.
	template <class F>
	void drain(int id, F&& take)
	{
		int kept = 0;
		const int oldest = current_frame() - 1;
		for (int i = 0; i < ctr_slot; ++i) {
			if (frame_slot[i] < oldest) continue;
			if (id_slot[i] == id) {
				if (!(flag_slot[i] & btn_key_up)) take(BTN_key{char_slot[i], vkey_slot[i], flag_slot[i]});
				continue;
			}
			char_slot[kept] = char_slot[i];
			vkey_slot[kept] = vkey_slot[i];
			flag_slot[kept] = flag_slot[i];
			id_slot[kept] = id_slot[i];
			frame_slot[kept] = frame_slot[i];
			++kept;
		}
		ctr_slot = kept;
	}
	// Drops everything queued for `id` without handing it over.
	void discard(int id)
	{
		drain(id, [](const BTN_key&) {});
	}
	static int current_frame();
};

// Accept-mask bits of the focus ring, in the order a key is tested.
enum {
	btn_accept_tab = 1 << 0,
	btn_accept_return = 1 << 1,
	btn_accept_delete = 1 << 2,
	btn_accept_escape = 1 << 3,
	btn_accept_nav = 1 << 4,
	btn_accept_letter = 1 << 5,
	btn_accept_digit = 1 << 6,
	btn_accept_sign = 1 << 7,
	btn_accept_printable = 1 << 8,
	btn_accept_other = 1 << 9,
};
// The masks the widgets register with.
enum {
	btn_mask_text_field = 500,
	btn_mask_char_field = 496,
	btn_mask_digit_field = 208,
};

// Which accept bit decides a key (character, virtual key).
int BTN_accept_bit(int character, int vkey);

// The ring entry of one key-taking widget.
struct focus_info_t {
	int id;
	int* char_slots;
	int* vkey_slots;
	int* flag_slots;
	int* id_slots;
	int* counter;
	int capacity;
	int accept_mask;
	int* frame_slots;  // when set, the frame each key was queued in
};

extern int focus_id;
extern int wind_focus;
int BTN_focus_ring_size();

// Registers a widget with the queue of its kind; returns 1 when it holds the focus.
int BTN_register_focus(int id, BTN_key_queue& queue, int accept_mask, int take_focus);
int BTN_register_focus(int id, int* char_slots, int* vkey_slots, int* flag_slots, int* id_slots, int* counter,
                       int capacity, int accept_mask, int take_focus);
void BTN_focus_any();
void BTN_window_has_focus();
int BTN_no_focus_yet();

// The editing engine every text field shares (null before the first field is drawn).
struct OGLE_Rec;
OGLE_Rec* BTN_field_engine();
