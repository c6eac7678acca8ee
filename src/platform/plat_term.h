#pragma once
// The terminal, for the builder, which has no window: a key typed on standard input
// (followed by Return, the terminal being line-buffered) can stop a long build.

// The next character waiting on standard input when it is a terminal, else -1. Never blocks.
int plat_term_poll_key();

// Rewrites the terminal's current line with `text`; nothing when standard output is
// not a terminal (a log or a pipe gets no carriage-return noise). The text is written as
// it is: a caller showing names from outside spells them out first.
void plat_term_progress(const char* text);
