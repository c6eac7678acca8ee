#pragma once
// The wizard's lines of the screen trace (KESTRIX_SCREEN_TRACE): one line each time the
// current window, screen, or what the screen shows changes, and again once a modal box
// has closed. Screens are written by name,
// from the one table of screen names.
#include <string>
#include <utility>
#include <vector>

#include "wizard/main_globals.h"

// The name of a screen function, or null for a function the table does not know.
const char* wizard_screen_name(screen_fn f);
// Every named screen.
const std::vector<std::pair<screen_fn, const char*>>& wizard_screen_names();

// The line's fields for this frame (without pid and frame).
std::string wizard_trace_fields(int window, screen_fn current, const wizard_screen& s);
// Writes the line when it differs from the last one written, or when a modal box has
// opened since (the window came back from the box).
void wizard_trace_screen(int window, screen_fn current, const wizard_screen& s);
// The size block a screen draws beside its own text: a line of its own ("sizes") each
// time it differs from the last one written.
void wizard_trace_sizes(const std::string& block);
// Forgets the last line and the last size block, so the next ones are written whatever
// they hold.
void wizard_trace_reset();
