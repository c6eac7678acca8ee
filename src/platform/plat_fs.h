#pragma once
// File-system services the file layer is written against: references to existing
// objects, flat folder listings and volume figures, over POSIX.
#include <string>
#include <vector>

// A reference to an object that existed when it was made: its absolute path with links
// and "." / ".." resolved.
struct FSRef {
	std::string path;
};

// Makes a reference to the existing object at `path`. Returns 0 or errno.
int plat_path_make_ref(const char* path, FSRef* ref);

// One entry of a folder: a folder is a real folder, never a link to one.
struct plat_dir_entry {
	std::string name;
	bool is_folder;
};

// Every entry of `folder` except "." and "..", in the order the system returns them.
// Returns 0 or errno.
int plat_list_folder(const std::string& folder, std::vector<plat_dir_entry>& out);

// Total and free (to this user) bytes of the volume holding the existing folder `folder`.
// Returns 0 or errno.
int plat_volume_space(const std::string& folder, unsigned long long* total, unsigned long long* free_bytes);
