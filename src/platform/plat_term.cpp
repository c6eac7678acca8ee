#include "platform/plat_term.h"

#include <poll.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

int plat_term_poll_key()
{
	if (!isatty(STDIN_FILENO)) return -1;
	struct pollfd p = {STDIN_FILENO, POLLIN, 0};
	if (poll(&p, 1, 0) != 1 || !(p.revents & POLLIN)) return -1;
	unsigned char c = 0;
	return read(STDIN_FILENO, &c, 1) == 1 ? c : -1;
}

void plat_term_progress(const char* text)
{
	if (!isatty(STDOUT_FILENO)) return;
	// What is left of a longer line before is overwritten with blanks rather than erased
	// by an escape sequence: the terminal gets printable text and carriage returns only.
	static size_t shown = 0;
	const size_t length = strlen(text);
	if (length < shown) fprintf(stdout, "\r%*s", static_cast<int>(shown), "");
	fprintf(stdout, "\r%s", text);
	shown = length;
	fflush(stdout);
}
