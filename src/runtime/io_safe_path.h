#pragma once
// Archives come from discs and from plain HTTP, so every entry name is untrusted:
// these helpers decide whether an entry may be written below the folder an archive
// is unpacked into, and write each unpacked file under a private name first so a
// damaged entry or a full disk never leaves half a file where a whole one was.
#include <cstddef>
#include <string>
#include <vector>

// What one unpack wrote, for callers that install with a rename into place.
struct unpack_record {
	// When not empty, every file and link of the archive is written as its
	// destination followed by this suffix (no "/" allowed), leaving the destination
	// itself alone until the caller renames the written path over it.
	std::string temp_suffix;

	struct item {
		std::string dest;     // where the entry belongs
		std::string written;  // where it was written: dest, or dest + temp_suffix
	};
	// Every file and link written, in archive order.
	std::vector<item> items;

	// When not empty: the folder (ending in "/", holding the unpack folder) that a
	// link's target must stay inside. An installed file's archive is unpacked into the
	// file's own folder, yet its link may rightly point at a sibling folder of the
	// installation; it must never point out of the installation.
	std::string link_root;

	// The path to write for `dest`.
	std::string written_path(const std::string& dest) const { return dest + temp_suffix; }
};

// 0 when the entry `name` (its bytes as stored, NUL bytes included) may be written as
// out_dir + name: the name is not empty, not absolute, has no ".." component and no NUL
// byte, and none of its folders below out_dir is already a link or a non-folder.
// Otherwise writes a log line naming the entry and returns err_zip_open.
int check_entry_name(const std::string& out_dir, const std::string& name);

// 0 when a link made at out_dir + name with the text `target` points inside out_dir;
// otherwise a log line naming the entry and err_zip_open.
int check_link_target(const std::string& out_dir, const std::string& name, const std::string& target);

// The folder part of a path, up to and including its last "/"; empty without one.
std::string folder_of(const std::string& path);

// An entry name made fit for a log line (control bytes shown as '?').
std::string printable_name(const std::string& name);

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
