#pragma once
// The framework's file layer: paths and well-known folders, file and folder operations,
// and file digests. Paths use "/" only and folder paths end in "/". Every operation
// returns 0 or an error code (an errno value or an own code, see hl_errors.h); tests
// return a truth value. Nothing here raises an alert except where noted.
#include <md5.h>

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

// 1 when the path (app_path in front) is a symbolic link; its link text then goes into
// *target when target is not null.
int is_sim_link(const char* path, std::string* target);

// File digests. A symbolic link is digested as its link text, never as what it points
// to. Returns 0 with the 32-character lower-case digest in `digest`, or 20006 when the
// file yields no data, leaving `digest` as it was. Never alerts: the checksum pool calls
// it on several worker threads at once.
int calc_file_md5(const std::string& path, std::string& digest);
// Adds `length` bytes to a context MD5Init prepared, in pieces of at most 65535 bytes.
void MD5UpdateWide(MD5_CTX* context, const unsigned char* data, unsigned int length);
