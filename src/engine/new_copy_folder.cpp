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

bool identify(const std::string& path, identity& out, bool want_folder)
{
	struct stat st;
	if (lstat(without_final_slash(path).c_str(), &st) != 0) return false;
	// A link is taken as the link: lstat never follows it.
	if (S_ISDIR(st.st_mode) != want_folder) return false;
	out = {st.st_dev, st.st_ino};
	return true;
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
	if (!identify(folder, who, true)) return ENOENT;
	std::lock_guard<std::mutex> hold(g_made_lock);
	g_made.folder = folder;
	g_made.who = who;
	return 0;
}

void ENG_note_installed_file(const std::string& path)
{
	identity who;
	if (!identify(path, who, false)) return;
	std::lock_guard<std::mutex> hold(g_made_lock);
	if (g_made.folder.empty() || path.compare(0, g_made.folder.size(), g_made.folder) != 0) return;
	g_made.files[path.substr(g_made.folder.size())] = who;
}

void ENG_forget_new_copy()
{
	std::lock_guard<std::mutex> hold(g_made_lock);
	g_made = made_copy{};
}

bool ENG_take_back_new_copy()
{
	made_copy made;
	{
		std::lock_guard<std::mutex> hold(g_made_lock);
		std::swap(made, g_made);
	}
	identity now;
	if (made.folder.empty() || made.folder != dest_dir_path || !identify(made.folder, now, true) || !(now == made.who)) {
		xer << "Cancel: " << dest_dir_path << " was not made by this run; nothing in it is removed.\n";
		return false;
	}
	// A file goes only where the run put it (no link on the way) and only while it is
	// still that file: one the user saved over it, or put there after it went, stays.
	for (auto it = made.files.rbegin(); it != made.files.rend(); ++it) {
		const std::string& rel = it->first;
		identity file;
		if (!path_stays_inside(rel) || walk_folder_chain(made.folder, ENG_folder_of(rel), false) != 0) continue;
		if (identify(made.folder + rel, file, false) && file == it->second) unlink((made.folder + rel).c_str());
	}
	// The folders: the run makes only the product's own (those of the list's files and
	// its working folders), so only those go, innermost first and only when empty; a
	// folder of another name is the user's, empty or not. Never through a link, and a
	// folder with anything in it (or another file system mounted on it) refuses rmdir.
	const std::set<std::string> folders = ENG_product_folders();
	for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
		identity folder;
		if (walk_folder_chain(made.folder, *it + "/", false) == 0 && identify(made.folder + *it, folder, true) &&
		    folder.dev == made.who.dev)
			rmdir((made.folder + *it).c_str());
	}
	rmdir(without_final_slash(made.folder).c_str());
	identity left;
	if (!identify(made.folder, left, true)) return true;
	xer << "Cancel: " << made.folder << " still holds what this run did not put there; it stays.\n";
	return false;
}
