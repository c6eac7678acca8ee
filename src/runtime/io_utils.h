#pragma once
// The framework's file layer: paths and well-known folders, file and folder operations,
// and file digests. Paths use "/" only and folder paths end in "/". Every operation
// returns 0 or an error code (an errno value or an own code, see hl_errors.h); tests
// return a truth value. Nothing here raises an alert except where noted.
#include <string>

// Case-correcting path matching: off, and nothing in this program turns it on.
extern int g_case_sensitive;

// Corrects the letter case of the components of `path` in place against the disk.
void findPath(char* path);

// Where the last failing operation that records it failed (log lines print them).
extern const char* sErrFile;
extern int sErrLine;

// Creates one folder (its parent must exist), mode 0755; one final "/" is ignored.
int make_folder(const std::string& path);
