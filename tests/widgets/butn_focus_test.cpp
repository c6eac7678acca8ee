// The focus ring and the key queues, headless: no widget draws here.
#include <gtest/gtest.h>

#include <vector>

#include "runtime/hl_globals.h"
#include "runtime/xtim.h"
#include "widgets/btn.h"
#include "widgets/butn_core.h"

namespace {

constexpr int kTab = 9, kEscape = 27, kDelete = 46, kKeypadEnter = 187, kReturn = 13, kBackspace = 8;

class FocusRing : public ::testing::Test {
protected:
	void SetUp() override
	{
		mnw.current_window = 0;
		mnw.menu_state = -1;
		focus_id = 0;
		xtim.frame_count = 100;
		BTN_begin_focus_ring();
		for (BTN_key_queue* q : {&a, &b}) q->ctr_slot = 0;
	}
	// One frame of drawing: each id registers in order, none taking focus.
	void draw(const std::vector<int>& ids, int mask = btn_mask_text_field)
	{
		BTN_begin_focus_ring();
		for (int id : ids) BTN_register_focus(id, a, mask, 0);
	}
	BTN_key_queue a, b;
};

std::vector<BTN_key> drained(BTN_key_queue& q, int id)
{
	std::vector<BTN_key> out;
	q.drain(id, [&](const BTN_key& k) { out.push_back(k); });
	return out;
}

}  // namespace

TEST_F(FocusRing, TabWalksTheRingBothWaysAndWraps)
{
	EXPECT_EQ(BTN_dispatch_to_focus(kTab, kTab, btn_key_down), 0);  // empty ring: not consumed
	EXPECT_EQ(focus_id, 0);

	draw({11, 22, 33});
	EXPECT_EQ(BTN_dispatch_to_focus(kTab, kTab, btn_key_down), 1);
	EXPECT_EQ(focus_id, 11);
	EXPECT_EQ(BTN_dispatch_to_focus(kTab, kTab, btn_key_down | btn_key_shift), 1);
	EXPECT_EQ(focus_id, 33);  // shift-tab on the first is the last
	EXPECT_EQ(BTN_dispatch_to_focus(kTab, kTab, btn_key_down), 1);
	EXPECT_EQ(focus_id, 11);  // tab on the last is the first
	EXPECT_EQ(BTN_dispatch_to_focus(kTab, kTab, btn_key_up), 0);  // a key-up of Tab moves nothing
	EXPECT_EQ(focus_id, 11);

	draw({44});
	focus_id = 44;
	EXPECT_EQ(BTN_dispatch_to_focus(kTab, kTab, btn_key_down), 1);
	EXPECT_EQ(focus_id, 44);  // one widget: wraps to itself

	// A focus whose widget was not drawn is dropped by the next key; Tab then starts over.
	focus_id = 99;
	EXPECT_EQ(BTN_dispatch_to_focus('x', 0, btn_key_down), 0);
	EXPECT_EQ(focus_id, 0);
	focus_id = 99;
	EXPECT_EQ(BTN_dispatch_to_focus(kTab, kTab, btn_key_down), 1);
	EXPECT_EQ(focus_id, 44);

	// A widget whose mask takes Tab gets it queued instead.
	draw({55}, btn_accept_tab);
	focus_id = 55;
	EXPECT_EQ(BTN_dispatch_to_focus(kTab, kTab, btn_key_up), 1);
	EXPECT_EQ(a.ctr_slot, 1);
}

TEST_F(FocusRing, TheMaskTableDecidesRowByRow)
{
	struct row {
		int c, vkey, bit;
	} rows[] = {
		{0, kEscape, btn_accept_escape},     {0, kDelete, btn_accept_delete},
		{3, kKeypadEnter, btn_accept_return}, {0, 33, btn_accept_nav},
		{0, 40, btn_accept_nav},             {0, kTab, btn_accept_tab},
		{13, kReturn, btn_accept_return},    {8, kBackspace, btn_accept_delete},
		{'+', 0, btn_accept_sign},           {'-', 0, btn_accept_sign},
		{'0', 0, btn_accept_digit},          {'9', 0, btn_accept_digit},
		{'A', 0, btn_accept_letter},         {'z', 0, btn_accept_letter},
		{' ', 0, btn_accept_printable},      {'~', 0, btn_accept_printable},
		{0, 0, btn_accept_other},            {0xE9, 0, btn_accept_other},
		{300, 0, btn_accept_other},          {127, 0, btn_accept_other},
		{'7', kEscape, btn_accept_escape},   // the virtual key is tested first
	};
	for (const row& r : rows) EXPECT_EQ(BTN_accept_bit(r.c, r.vkey), r.bit) << r.c << " / " << r.vkey;

	draw({7}, btn_mask_digit_field);
	focus_id = 7;
	EXPECT_EQ(BTN_dispatch_to_focus('5', 0, btn_key_down), 1);
	EXPECT_EQ(BTN_dispatch_to_focus('q', 0, btn_key_down), 0);  // goes on to the key commands
	EXPECT_EQ(BTN_dispatch_to_focus(0xE9, 0, btn_key_down), 0);
	EXPECT_EQ(a.ctr_slot, 1);
}

TEST_F(FocusRing, TheAlertWindowTakesNoKeysAndAFullQueueStillConsumes)
{
	draw({7});
	focus_id = 7;
	mnw.current_window = 994;
	EXPECT_EQ(BTN_dispatch_to_focus('a', 0, btn_key_down), 0);
	EXPECT_EQ(a.ctr_slot, 0);
	mnw.current_window = 0;

	for (int i = 0; i < BTN_key_queue::capacity; ++i) ASSERT_EQ(BTN_dispatch_to_focus('a', 0, btn_key_down), 1);
	EXPECT_EQ(a.ctr_slot, 64);
	// The 65th key is meant for the field: consumed, but never written past the slots.
	EXPECT_EQ(BTN_dispatch_to_focus('b', 0, btn_key_down), 1);
	EXPECT_EQ(a.ctr_slot, 64);
	EXPECT_EQ(a.char_slot[63], 'a');
}

TEST_F(FocusRing, TakeFocusTwiceInOneFrameLeavesTheLaterOne)
{
	BTN_begin_focus_ring();
	EXPECT_EQ(BTN_register_focus(1, a, btn_mask_text_field, 1), 1);
	EXPECT_EQ(BTN_register_focus(2, b, btn_mask_text_field, 1), 1);
	EXPECT_EQ(focus_id, 2);
	EXPECT_EQ(BTN_focus_ring_size(), 2);
	EXPECT_EQ(BTN_no_focus_yet(), 0);
	BTN_unfocus_any();
	EXPECT_EQ(BTN_no_focus_yet(), 1);
	BTN_window_has_focus();
	EXPECT_EQ(BTN_no_focus_yet(), 0);
	BTN_focus_any();
	EXPECT_EQ(focus_id, 1);
}

TEST_F(FocusRing, QueuesDrainPerInstanceCompactAndForgetStaleKeys)
{
	draw({1, 2});
	focus_id = 1;
	BTN_dispatch_to_focus('a', 0, btn_key_down);
	BTN_dispatch_to_focus('a', 0, btn_key_up);  // key-ups are queued but never handed over
	focus_id = 2;
	BTN_dispatch_to_focus('b', 0, btn_key_down);
	focus_id = 1;
	BTN_dispatch_to_focus('c', 0, btn_key_down);

	auto keys = drained(a, 1);
	ASSERT_EQ(keys.size(), 2u);
	EXPECT_EQ(keys[0].character, 'a');
	EXPECT_EQ(keys[1].character, 'c');
	EXPECT_EQ(a.ctr_slot, 1);  // only the other instance's key stays, moved to the front
	EXPECT_EQ(a.id_slot[0], 2);

	// A key left by a widget that stopped drawing must not keep the queue full for ever:
	// two frames on it is gone, and typing into the live field goes on.
	xtim.frame_count += 2;
	draw({1});
	focus_id = 1;
	for (int i = 0; i < 70; ++i) {
		++xtim.frame_count;
		draw({1});
		BTN_dispatch_to_focus('x', 0, btn_key_down);
		ASSERT_EQ(drained(a, 1).size(), 1u) << "frame " << i;
	}
	EXPECT_EQ(a.ctr_slot, 0);
}
