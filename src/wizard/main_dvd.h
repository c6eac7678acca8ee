#pragma once
// The install DVD: identifying the set, reading its file list, finding the DVD that
// holds a file and asking for it.
#include <string>

// Each frame of the main menu: locate the DVD when none is known, identify the set from
// its "dvd_version.txt" until identified, then unpack and read the file list once.
void UTIL_scan_dvd();
// 1 when a mounted volume holds the archive of file want_file_disk (dvd_path is then
// that volume and current_disk the file's DVD), else 0; dvd_path then names the set's
// DVD now mounted, or keeps the one last used, so that the change screen can eject it.
int UTIL_verify_disk();
// The DVD number (from 0) holding file want_file_disk. With `first` set, the DVD at
// dvd_path is ejected and forgotten.
int UTIL_switch_disk(int first);

// The product folder name of an identity file's text (after its header), or "" when no
// usable VERSION line is in it.
std::string UTIL_identity_name(const char* begin, const char* end);
