#pragma once
// The program's own files (the log on the desktop, the stack walk of a quitting alert,
// the memory report) have fixed names in folders the user keeps: the desktop, the
// working folder, the program's folder. Whatever bears such a name there may be the
// user's, so it is written only when it is a regular file of that very name: a link of
// that name is left alone, never followed, and a fifo, a device or a folder is never
// opened for writing.
#include <string>

// Opens `path` with `flags` (an access mode with O_CREAT, O_APPEND as wanted; never
// O_TRUNC, which the caller does after this check if it wants), as open_regular_file_as
// does with a link refused. Returns the blocking descriptor, or -1 with errno set: ELOOP
// for a link, EINVAL for anything but a regular file (ENXIO for a FIFO nobody reads).
// Opening never waits on a fifo.
int own_file_open(const std::string& path, int flags);
