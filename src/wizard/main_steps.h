#pragma once
// The program entry's steps after the shell's start-up, as functions, so that each can
// be called on its own. The entry point runs, in this order:
//   DIDIVI_init(argc, argv);
//   main_start(argc, argv);            // may end the process on the relaunch path
//   while (!app_done) DIDIVI_event_proc();
//   return 0;
#include <string>

// Everything between the shell's start-up and the frame loop: hand the engine the
// shell's web-page opener, locate the install DVD, relaunch from the temporary folder
// when started from it, log the folders, give the globals and stg their start values,
// read the preferences, take "-path", read the registration file.
void main_start(int argc, const char* const* argv);

// Sets dvd_path to the mounted install DVD's root (ending in "/"), or empties it.
void main_locate_dvd();

// Whether a program at `app` was started from the DVD at `dvd`: both non-empty and the
// path begins with the DVD's root (compared over the shorter length).
bool main_started_from_dvd(const std::string& app, const std::string& dvd);
// The last component of `app`, a final "/" of a path longer than two characters kept.
std::string main_last_component(const std::string& app);
// Copies the program at `app` (and the translations beside it, Resources/text/ of the
// application's folder `app_folder`) into `temp` and starts the copy. Returns only when
// the copy or the start failed (a "WARNING: " line is logged), with the error code:
// ENOENT without an absolute `temp`, EINVAL when the copy would take the place of the
// program itself, lie inside it or hold it (nothing is deleted then).
int main_relaunch(const std::string& temp, const std::string& app, const std::string& app_folder);

// Logs the five well-known folders and an empty line.
void main_log_folders();
// temp_path (left empty, and logged, without a private temporary folder), the alert
// button's label, install_name and the start words of stg.
void main_init_globals();
// "-path FOLDER" as the first argument sets cmd_line_path (a final "/" added).
void main_take_path_arg(int argc, const char* const* argv);

// Reading the registration file of installed copies: locate_all_kestrixes, unless a
// test installs another reader (null: none).
using registration_reader_fn = void (*)();
registration_reader_fn main_set_registration_reader(registration_reader_fn f);
void main_read_registration();
