// The engine's two modal questions. Their windows (996 and 997) belong to the shell
// and the widget toolkit, which install them here as hooks once they exist; the
// engine only asks and acts on the answer. Without a hook the question cannot be
// shown, which answers 3 exactly as a window that could not be opened does.
#include <atomic>

#include "engine/install.h"
#include "runtime/hl_string.h"
#include "runtime/hl_trace.h"
#include "runtime/translate.h"

static std::atomic<select_alert_fn> s_select_hook{nullptr};
static std::atomic<abort_alert_fn> s_abort_hook{nullptr};

select_alert_fn ENG_set_select_alert_hook(select_alert_fn f)
{
	return s_select_hook.exchange(f);
}

abort_alert_fn ENG_set_abort_alert_hook(abort_alert_fn f)
{
	return s_abort_hook.exchange(f);
}

select_alert_texts_t select_alert_texts(int gone)
{
	select_alert_texts_t t;
	if (gone) {
		t.first_line = UTL_translate_string("I am about to DELETE:");
		t.third_line = UTL_translate_string(
		    "because we no longer use this file, but it appears you have modified it. What to do?");
		t.button1 = UTL_translate_string("DELETE THE OLD FILE");
		t.button4 = UTL_translate_string("DELETE EVERY OLD FILE IN THIS DIRECTORY");
	} else {
		t.first_line = UTL_translate_string("I am about to install:");
		t.third_line = UTL_translate_string("but it appears you have modified this file. What to do?");
		t.button1 = UTL_translate_string("OVERWRITE THE OLD FILE");
		t.button4 = UTL_translate_string("OVERWRITE EVERY OLD FILE IN THIS DIRECTORY");
	}
	t.button2 = UTL_translate_string("KEEP THE OLD FILE");
	t.button5 = UTL_translate_string("KEEP EVERY OLD FILE IN THIS DIRECTORY");
	t.button3 = UTL_translate_string("CANCEL THE WHOLE INSTALLATION!");
	return t;
}

int select_alert(std::string path, int gone)
{
	const select_alert_fn f = s_select_hook.load();
	if (!f) return 3;
	if (UTL_trace_on()) {
		const select_alert_texts_t t = select_alert_texts(gone);
		UTL_trace_modal(996, {t.first_line, STR_utf8_to_font(path), t.third_line},
		                {t.button1, t.button2, t.button4, t.button5, t.button3});
	}
	const int r = f(std::move(path), gone);
	// Anything but the five answers means the window went away another way.
	return (r >= 1 && r <= 5) ? r : 3;
}

int abort_alert(std::string message, std::string label1, std::string text1, std::string label2, std::string text2)
{
	const abort_alert_fn f = s_abort_hook.load();
	if (!f) return 3;
	UTL_trace_modal(997, {message, text1, text2}, {label1, label2});
	const int r = f(std::move(message), std::move(label1), std::move(text1), std::move(label2), std::move(text2));
	return (r == 0 || r == 1) ? r : 3;
}
