// The new copy's folder: made once by its run, and taken back by file and by empty
// folder, never by a recursive delete.
#include "engine/new_copy_folder.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <set>
#include <mutex>

#include "engine/install.h"
#include "engine/install_paths.h"
#include "runtime/hl_errors.h"
#include "runtime/hl_globals.h"
#include "runtime/io_utils.h"

namespace {

// Who a file or folder is: the same path may name another file later.
struct identity {
	dev_t dev = 0;
	ino_t ino = 0;
	bool operator==(const identity&) const = default;
};

std::string without_final_slash(std::string p)
{
	if (p.size() > 1 && p.back() == '/') p.pop_back();
	return p;
}

// 0 when `path` is there as the kind wanted, `out` then saying who it is; otherwise why
// not: lstat's errno, or ENOTDIR (EISDIR) for something other than a folder (a folder).
int identify(const std::string& path, identity& out, bool want_folder)
{
	struct stat st;
	if (lstat(without_final_slash(path).c_str(), &st) != 0) return errno;
	// A link is taken as the link: lstat never follows it.
	if (S_ISDIR(st.st_mode) != want_folder) return want_folder ? ENOTDIR : EISDIR;
	out = {st.st_dev, st.st_ino};
	return 0;
}

// The run's new copy: its folder as made (ending in "/"), who that folder is, and each
// file put in it (by its path below the folder) with who it was when it was placed.
struct made_copy {
	std::string folder;
	identity who;
	std::map<std::string, identity> files;
};

std::mutex g_made_lock;
made_copy g_made;

// The take-back's log lines.
constexpr char kCancelLine[] = "Cancel: ";
constexpr char kNotMade[] = " was not made by this run; nothing in it is removed.\n";
constexpr char kCouldNotRemove[] = "Cancel: could not remove ";
constexpr char kReason[] = ": ";
constexpr char kLineEnd[] = ".\n";
constexpr char kRunsStay[] = " still holds what this run made and could not remove; it stays.\n";
constexpr char kOthersStay[] = " still holds what this run did not put there; it stays.\n";

// Takes back the file the run placed at folder + rel while it is still that file: 0
// when it is gone afterwards or no longer the run's to take (a link on its way, another
// file or a folder in its place: the user's doing); otherwise why it stays.
int take_back_file(const std::string& folder, const std::string& rel, const identity& placed)
{
	if (!path_stays_inside(rel)) return 0;
	identity now;
	int r = walk_folder_chain(folder, ENG_folder_of(rel), false);
	if (r == 0) r = identify(folder + rel, now, false);
	if (r == ENOENT || r == ENOTDIR || r == EISDIR || r == ELOOP) return 0;
	if (r != 0) return r;
	if (!(now == placed)) return 0;
	return unlink((folder + rel).c_str()) == 0 || errno == ENOENT ? 0 : errno;
}

// Removes an empty folder: 0 when it went, and when it holds something (the user's
// things, or the run's that could not go, each logged already) or has a file system
// mounted on it; otherwise why it stays.
int remove_empty_folder(const std::string& path)
{
	if (rmdir(path.c_str()) == 0) return 0;
	return errno == ENOTEMPTY || errno == EEXIST || errno == ENOENT || errno == EBUSY ? 0 : errno;
}

// 1, with a log line naming `path` and the reason, when `code` says what the run made
// stays there; else 0.
int still_there(const std::string& path, int code)
{
	if (code == 0) return 0;
	xer << kCouldNotRemove << path << kReason << error_str(code) << kLineEnd;
	return 1;
}

}  // namespace

int ENG_make_new_copy_folder()
{
	const std::string folder = dest_dir_path;
	ENG_forget_new_copy();
	// One mkdir, no parents and no "already there" accepted: the folder is ours only
	// when this call made it.
	const int r = make_folder(folder);
	if (r == EEXIST) {
		xer << "The new copy's folder " << folder << " is already there; it is not installed into.\n";
		// A file or a dangling link of that name is no folder: the destination screen,
		// which looks for a folder, would offer to make it again without saying why not.
		if (!dir_exists(folder)) make_dir_error(folder, r);
		return r;
	}
	if (r != 0) {
		make_dir_error(folder, r);
		return r;
	}
	identity who;
	if (identify(folder, who, true) != 0) return ENOENT;
	std::lock_guard<std::mutex> hold(g_made_lock);
	g_made.folder = folder;
	g_made.who = who;
	return 0;
}

void ENG_note_installed_file(const std::string& path)
{
	identity who;
	if (identify(path, who, false) != 0) return;
	std::lock_guard<std::mutex> hold(g_made_lock);
	if (g_made.folder.empty() || path.compare(0, g_made.folder.size(), g_made.folder) != 0) return;
	g_made.files[path.substr(g_made.folder.size())] = who;
}

void ENG_forget_new_copy()
{
	std::lock_guard<std::mutex> hold(g_made_lock);
	g_made = made_copy{};
}

bool ENG_take_back_new_copy(int* left)
{
	if (left) *left = 0;
	made_copy made;
	{
		std::lock_guard<std::mutex> hold(g_made_lock);
		std::swap(made, g_made);
	}
	identity now;
	if (made.folder.empty() || made.folder != dest_dir_path || identify(made.folder, now, true) != 0 ||
	    !(now == made.who)) {
		xer << kCancelLine << dest_dir_path << kNotMade;
		return false;
	}
	// A file goes only where the run put it (no link on the way) and only while it is
	// still that file: one the user saved over it, or put there after it went, stays.
	int stayed = 0;
	for (auto it = made.files.rbegin(); it != made.files.rend(); ++it)
		stayed += still_there(made.folder + it->first, take_back_file(made.folder, it->first, it->second));
	// The folders: the run makes only the product's own (those of the list's files and
	// its working folders), so only those go, innermost first and only when empty; a
	// folder of another name is the user's, empty or not. Never through a link, and a
	// folder with anything in it (or another file system mounted on it) refuses rmdir.
	const std::set<std::string> folders = ENG_product_folders();
	for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
		identity folder;
		const std::string path = made.folder + *it;
		if (walk_folder_chain(made.folder, *it + "/", false) == 0 && identify(path, folder, true) == 0 &&
		    folder.dev == made.who.dev)
			stayed += still_there(path, remove_empty_folder(path));
	}
	stayed += still_there(made.folder, remove_empty_folder(without_final_slash(made.folder)));
	if (left) *left = stayed;
	identity after;
	if (identify(made.folder, after, true) != 0) return true;
	xer << kCancelLine << made.folder << xer_own(stayed ? kRunsStay : kOthersStay);
	return false;
}
