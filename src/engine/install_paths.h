#pragma once
// Path rules shared by the engine's writers and deleters. The file list and the
// archives come from discs and plain HTTP, so every path the engine writes to or
// deletes is checked first: it stays below the install folder, and nothing is written
// or deleted through a symbolic link.
#include <string>

#include "runtime/io_safe_path.h"

// Sets `out` to the folder part of `in`, up to and including its last "/"; a folder
// path's own final "/" belongs to its name (a/b/c.txt gives a/b/, a/b/ gives a/,
// c.txt gives nothing). The builder writes its DIR lines by the same rule.
void get_path_with_path(std::string& out, const std::string& in);
// The same, as a value.
std::string ENG_folder_of(const std::string& path);

// The rule for paths below the install folder (path_stays_inside), the folder-chain
// walk (walk_folder_chain) and the temporary names (temp_name_in, the sweep
// remove_temp_leftovers) are the archive readers' own, in runtime/io_safe_path.h.

// Whether the file `rel` of the file list (its platform folder trimmed) may be reached
// below the install folder, by the one rule of every step that digests, writes or
// deletes it: the path stays inside, and no folder on its way is a link or something
// other than a folder. The file itself may be a link: it is taken as the link. 0 when
// it may (with `make`, the missing folders are made on the way); EINVAL for a path
// that leaves the install folder, ELOOP for a link on the way, ENOTDIR for a file
// where a folder belongs; other errno values as they come. On ELOOP, `link` (when
// given) is set to the full path of the first folder on the way that is a link.
int ENG_reach_inside(const std::string& rel, bool make, std::string* link = nullptr);
