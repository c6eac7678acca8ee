#pragma once
// Well-known folders of a Linux desktop session. Each returns 0 with an absolute path,
// or errno with `out` unchanged.
#include <string>

// The running executable itself (/proc/self/exe).
int plat_exe_path(std::string& out);
// The desktop: XDG_DESKTOP_DIR (the environment, then user-dirs.dirs), else
// $HOME/Desktop when it exists, else $HOME. Ends in "/".
int plat_desktop_dir(std::string& out);
// The private temporary folder ${TMPDIR:-/tmp}/kestrix-installer-<uid>/, created with
// mode 0700; refused when it is a link, not a folder or not owned by this user.
int plat_temp_dir(std::string& out);
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
