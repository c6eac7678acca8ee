#pragma once
// Path rules shared by the engine's writers and deleters. The file list and the
// archives come from discs and plain HTTP, so every path the engine writes to or
// deletes is checked first: it stays below the install folder, and nothing is written
// or deleted through a symbolic link.
#include <string>

// Sets `out` to the folder part of `in`, up to and including its last "/"; a folder
// path's own final "/" belongs to its name (a/b/c.txt gives a/b/, a/b/ gives a/,
// c.txt gives nothing). The builder writes its DIR lines by the same rule.
void get_path_with_path(std::string& out, const std::string& in);
// The same, as a value.
std::string ENG_folder_of(const std::string& path);

// A path relative to the install folder that may be written or deleted: not empty, not
// absolute, no "." or ".." component, no empty component, no NUL byte.
bool ENG_rel_path_ok(const std::string& rel);

// Walks the folders of `rel` (a relative folder path, with or without a final "/")
// below `base` (ending in "/"). 0 when every component that exists is a real folder
// (components from the first missing one on are not looked at); ELOOP when one is a
// symbolic link, ENOTDIR when one is something else.
int ENG_check_folder_chain(const std::string& base, const std::string& rel);

// As ENG_check_folder_chain, and makes the missing components (mode 0755). 0 or an
// errno value.
int ENG_make_folder_chain(const std::string& base, const std::string& rel);

// Unpacking writes each file of an archive beside its destination under the
// destination's name followed by a marker and the file's index, and renames it into
// place only when the whole archive checked out; so an installed file is always
// either the old one or the new one.
extern const char ENG_unpack_marker[];  // ".kx-unpack-"
std::string ENG_unpack_suffix(int index);

// Removes the marked files that a run ended by force left in `folder`.
void ENG_remove_stale_unpacked(const std::string& folder);
