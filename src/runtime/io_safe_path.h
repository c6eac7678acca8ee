#pragma once
// Archives come from discs and from plain HTTP, so every entry name is untrusted:
// these helpers decide whether an entry may be written below the folder an archive
// is unpacked into, and write each unpacked file under a private name first so a
// damaged entry or a full disk never leaves half a file where a whole one was.
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// The folder part of a path, up to and including its last "/"; empty without one.
std::string folder_of(const std::string& path);

// ---- Temporary names ------------------------------------------------------------
// Every name this program writes for a while into a folder it installs into (a file on
// its way to its place, a copied archive, a settings file being saved) is the mark,
// the writing process's id, "-" and a counter: short whatever the final name's length,
// unique across processes, and found again by one sweep after a run ended by force.
extern const char kx_temp_mark[];  // ".kxtmp-"

// A fresh temporary name in `folder` (ending in "/", or empty for a bare name).
std::string temp_name_in(const std::string& folder);

// True when the leaf `name` carries the mark.
bool is_temp_name(const std::string& name);

// Removes from `folder` the marked files and links whose writer is gone (its process
// no longer runs) or is this process, which keeps none between runs. Returns how many
// it removed.
int remove_temp_leftovers(const std::string& folder);

// ---- Paths that stay inside a folder ---------------------------------------------
// The one rule for a relative path that is joined to a folder to write, delete or
// link: not empty, not absolute, no NUL byte, no "\" (a foreign separator), and every
// component present and neither "." nor ".."; a folder path may end in one "/". File
// lists, archive entries and the engine's own paths all pass through it.
bool path_stays_inside(const std::string& rel);

// Walks the folders of `rel` (a relative folder path, with or without a final "/")
// below `base` (ending in "/"): 0 when every component that exists is a real folder,
// ELOOP when one is a symbolic link, ENOTDIR when one is something else. Without
// `make`, components from the first missing one on are not looked at; with it, the
// missing ones are made (mode 0755) as the walk goes. Other errno values as they come.
// On ELOOP, `link` (when given) is set to the path of the first link met, base + the
// components up to it, without a final "/".
int walk_folder_chain(const std::string& base, const std::string& rel, bool make, std::string* link = nullptr);

// The permission bits an unpacked file gets from the mode its archive stores: the
// process's umask applies, as to any file this program makes, and the owner can always
// read and write what was installed (an archive may say 0777 or 0000).
unsigned archived_mode(unsigned stored);

// What one unpack wrote, for callers that install with a rename into place.
struct unpack_record {
	// When set, every file and link of the archive is written under a temporary name
	// in its destination's folder, leaving the destination itself alone until the
	// caller renames the written path over it.
	bool temp_names = false;

	struct item {
		std::string dest;     // where the entry belongs
		std::string written;  // where it was written: dest, or a temporary name
	};
	// Every file and link written, in archive order.
	std::vector<item> items;

	// When not empty: the folder (ending in "/", holding the unpack folder) that a
	// link's target must stay inside. An installed file's archive is unpacked into the
	// file's own folder, yet its link may rightly point at a sibling folder of the
	// installation; it must never point out of the installation.
	std::string link_root;

	// When not empty: the one entry the archive may hold, a leaf name at its top level
	// (a file or a link), followed at most by its AppleDouble entry "__MACOSX/._" + the
	// name where the reader restores forks. An archive is unpacked for one file it is
	// named after; any other entry, or a second copy of one, would change a file nobody
	// asked for, so it makes the archive damaged and nothing is written.
	std::string only_entry;

	// Sets only_entry and hands back this record, for a call that needs nothing else of
	// it: zip_to_file(zip, folder, nullptr, 0, unpack_record().only("directory.txt")).
	unpack_record* only(std::string leaf)
	{
		only_entry = std::move(leaf);
		return this;
	}

	// When not empty: the name the log gives the archive, whose own path is then a
	// private copy of it (an install's copy from the disc) that means nothing to a reader.
	std::string archive_name;

	// The path to write for `dest`.
	std::string written_path(const std::string& dest) const
	{
		return temp_names ? temp_name_in(folder_of(dest)) : dest;
	}
};

// 0 when the entry `name` (its bytes as stored, NUL bytes included) may be written as
// out_dir + name: it passes path_stays_inside, and none of its folders below out_dir
// is already a link or a non-folder. Otherwise writes a log line naming the entry and
// returns err_zip_open.
int check_entry_name(const std::string& out_dir, const std::string& name);

// 0 when a link made at out_dir + name with the text `target` points inside out_dir;
// otherwise a log line naming the entry and err_zip_open. Every component that a ".."
// of the target climbs out of must be a real folder on disk at the time: a link (made
// by this archive or found in the folder) climbed out of leads wherever it points.
int check_link_target(const std::string& out_dir, const std::string& name, const std::string& target);

// 0 when the entry names of an archive (all of them, in archive order; a folder entry's
// name ends in "/") are what `record` allows (see only_entry), and always when `record`
// is null or allows any entry. Otherwise a log line naming the first entry out of place
// and err_zip_open, the code of a damaged archive. `forks`: the reader restores
// AppleDouble entries, so the file's own may follow it.
int check_only_entry(const unpack_record* record, const std::vector<std::string>& names, bool forks);

// One unpacked file on its way to disk. It is created under a private name in the
// folder of its destination and only renamed over the destination by commit(), after
// every write and the close succeeded; otherwise the private file is removed.
class unpack_file {
public:
	unpack_file() = default;
	~unpack_file();
	unpack_file(const unpack_file&) = delete;
	unpack_file& operator=(const unpack_file&) = delete;

	// Creates the private file next to `dest`. Returns 0 or errno.
	int open(const std::string& dest);
	// Writes all of the bytes. Returns 0 or errno (28 on a full disk).
	int write(const void* data, size_t size);
	// Sets the permission bits of the file to come.
	int set_mode(unsigned mode);
	// Sets access and modification time (seconds) of the file to come.
	int set_time(long long seconds);
	// Closes the file; a delayed write error (a full disk) shows up here. Returns 0 or errno.
	int close();
	// Closes the file when still open and renames it over `dest`. Returns 0 or errno.
	int commit();
	// Removes the private file (also done by the destructor when not committed).
	void discard();

private:
	int fd_ = -1;
	std::string dest_, temp_;
};

// Makes `dest` a symbolic link to `target`, replacing what was there in one step.
// Returns 0 or errno.
int replace_with_symlink(const std::string& target, const std::string& dest);

// True for the errno values with which a file system that cannot hold symbolic links
// (exFAT, FAT) refuses to make one: EPERM, ENOSYS, EOPNOTSUPP and ENOTSUP.
bool links_not_supported(int err);

// Writes `text` as the whole of a regular file at `written` through an unpack_file, so
// a failed step leaves nothing half-written: how a link is kept where it is not made as
// a link. Returns 0 or the errno of the step that failed (EFBIG or ENOSPC when full).
int write_link_text(const std::string& text, const std::string& written);
