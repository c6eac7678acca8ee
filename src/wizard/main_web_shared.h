#pragma once
// What the web updater's and the web demo's screens share, and the few services of the
// DVD flows they reach through calls of their own.
#include <string>

#include "wizard/main_web.h"

// The network run starts on this many streams; grab_files widens it by the rate.
constexpr int web_start_streams = 2;

// One entry of a family's step list.
struct web_step {
	const char* label;
	screen_fn screen;
	bool pick_only;  // listed only when the copy has to be picked
};
// Replaces the step list; entries marked pick_only only when `with_pick`.
void web_set_steps(const web_step* steps, int count, bool with_pick);

enum web_family { web_update = 0, web_demo = 1 };
// One frame of a search screen: fetch the lists, then (the updater) checksum the copy.
// 1 when the copy is scanned (the demo: when the list is read): the caller advances.
int web_search_frame(int first, wizard_screen& s, web_family family);

// One frame of an install screen: grab_files for at most 0.02 s, the status line, the
// smoothed fraction `ratio` and the time-left text. 1 when the run ended (the download
// reset is done and Go Back cleared); the caller names the next screen.
int web_run_frame(wizard_screen& s, float& ratio, screen_fn back);
// The install screen's time-left sentence for the smoothed fraction `ratio`, from the
// bookkeeping of `next`, stg and the frame clock; empty at 1 % or less or at no rate.
std::string web_estimate_text(float ratio);

// ---- Services of the DVD flows ----

// Offers the choice that starts the copy at dest_dir_path, labelled `label`.
void web_offer_run(wizard_screen& s, const std::string& label);
