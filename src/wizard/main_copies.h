#pragma once
// Installed copies: the registration file that remembers every copy this installer put
// on disk, and the test that tells whether a folder holds a copy.
#include <cstddef>
#include <string>
#include <vector>

// The registration file's name in the preferences folder.
extern const char* const kRegistrationFile;

// Rebuilds all_orvalas from the registration file: the copies its lines name (see
// UTIL_copy_at), in file order, duplicates kept. The file itself is left as it is; one
// that is no regular file (a FIFO, a device, a folder) holds no copies.
void locate_all_kestrixes();
// The longest line the registration file holds: a longer line is read as several.
constexpr size_t kRegistrationLineMax = 2047;
// Whether the registration file can hold `path` as one line of its own: no line end
// (CR, LF or NUL) in it and at most kRegistrationLineMax bytes.
bool UTIL_registration_can_hold(const std::string& path);
// Appends dest_dir_path to the registration file unless a line already equals it.
// True when the file holds the copy afterwards. False, after a WARNING line in the
// log, without a preferences folder, for a path the file cannot hold (nothing is
// written), or when the file cannot be read or appended to (the line then ends in the
// reason): like every file in the user's folders it is opened only when it is a
// regular file, never waiting on a FIFO.
bool register_new_kestrix();
// The alert for a new copy that register_new_kestrix could not note: it was installed
// in `copy`, and the next start will not offer it.
void UTIL_tell_unregistered(const std::string& copy);
// 1 when dest_dir_path directly holds folders whose names contain "Airfoils",
// "Instructions", "Output" and "Resources", else 0.
int path_is_to_a_sim();
// The same test for any folder (a path ending in "/", as the listing requires).
int UTIL_folder_is_a_sim(const std::string& folder);
// The copy a registration line or a typed folder names: the path with a final "/" when
// it is absolute and holds a copy, else "". Every place the installer writes to is a
// copy's folder joined with a relative path, so a line without its slash or naming a
// plain folder must never become one.
std::string UTIL_copy_at(const std::string& line);

// Cancels the new copy of a run that made it (see ENG_take_back_new_copy); when some of
// what the run made could not be removed, an alert names the folder that holds it.
void UTIL_take_back_new_copy();

// The copy picker's places: a row per copy from the top, each a radio button and the
// copy's path; under the last row the question whether a copy is missing, and Find It.
constexpr float pick_row_top = 400, pick_row_step = 25;
constexpr float pick_radio_x = 250, pick_path_x = 280, pick_path_wrap = 500;
// A copy's path keeps to its row, clear of the next copy, the question and Find It: a
// long one gives way in its middle.
constexpr int pick_path_rows = 1;
constexpr float pick_question_x = 230, pick_question_wrap = 500;
constexpr float pick_find_x = 605, pick_find_rise = 3, pick_find_width = 100;

// The copy picker, one frame: a radio button and the path of each copy in all_orvalas
// (a click chooses it as dest_dir_path), and "Find It", which asks for a folder and
// finds the copy in it or above it. Returns dest_dir_path.
std::string UTIL_pick_install();

// Whether `folder` is one of all_orvalas, byte for byte.
bool UTIL_is_registered(const std::string& folder);
// What a copy picker says above it: that there is more than one copy, when there is,
// then `question` (translated by the caller).
std::string UTIL_pick_text(const std::string& question);

// "Find It" after the folder dialog: walks from the chosen folder up to the root and
// selects, registers and lists the first installed copy on the way (1). When none is
// found dest_dir_path keeps its value and an alert names the chosen folder (0).
int UTIL_find_copy(const std::string& chosen);

// The lines of a registration file's bytes: a line ends at CR, LF or NUL, a line longer
// than the reader's buffer comes out as several lines, and empty lines are left out.
std::vector<std::string> UTIL_registration_lines(const std::string& bytes);
// What appending `path` to a file holding `bytes` writes: nothing when a line already
// equals it; otherwise the path and a line feed, after a line feed of its own when the
// file does not end in a line end (so the last path is not fused with the new one).
std::string UTIL_registration_append(const std::string& bytes, const std::string& path);
