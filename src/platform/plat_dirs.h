#pragma once
// Well-known folders of a Linux desktop session. Each returns 0 with an absolute path,
// or errno with `out` unchanged.
#include <string>
#include <vector>

// The running executable itself (/proc/self/exe).
int plat_exe_path(std::string& out);
// The desktop: XDG_DESKTOP_DIR (the environment, then user-dirs.dirs), else
// $HOME/Desktop when it exists, else $HOME. Ends in "/".
int plat_desktop_dir(std::string& out);
// The private temporary folder ${TMPDIR:-/tmp}/kestrix-installer-<uid>/, created with
// mode 0700; refused when it is a link, not a folder or not owned by this user.
int plat_temp_dir(std::string& out);
// The path plat_temp_dir makes and checks, ending in "/", whether or not it can: what
// a message about a missing temporary folder names.
std::string plat_temp_dir_candidate();
// The preferences folder ${XDG_CONFIG_HOME:-$HOME/.config}/, created when missing.
int plat_prefs_dir(std::string& out);

// Application bundles. An executable at X.app/Contents/MacOS/X belongs to the bundle
// X.app; any other executable is its own bundle. The folder holding the bundle is the
// application's folder, and start-up, the relaunch copy and starting an installed copy
// all go by this one rule.
std::string plat_bundle_of(const std::string& exe);
// What to execute for `app`, which names a bundle or a program (one final "/" ignored):
// for a folder, <dir>/Contents/MacOS/<stem> when that is executable, else <dir>/<stem>,
// the stem being the folder's name less a final ".app"; anything else is run itself.
std::string plat_bundle_executable(const std::string& app);

// Shared libraries, the stand-in for the system's framework bundles. The folders the
// dynamic loader searches for a library named without a folder, in its order
// (LD_LIBRARY_PATH, the program's run path, the system's library folders), each
// without a final "/". Returns 0 or an error code.
int plat_library_folders(std::vector<std::string>& out);
// Loads the shared library at `path`, or, for a name without "/", the one the loader
// knows by that name; null when it cannot. Each load is undone by one
// plat_unload_library.
void* plat_load_library(const std::string& path);
void plat_unload_library(void* handle);
