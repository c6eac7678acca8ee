#include "platform/plat_term.h"

#include <poll.h>
#include <stdio.h>
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
	fprintf(stdout, "\r\033[K%s", text);
	fflush(stdout);
}
