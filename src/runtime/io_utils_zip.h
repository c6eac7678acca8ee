#pragma once
// Zip archives as the install discs and the updater carry them: one file (or link)
// per archive, with an AppleDouble entry under "__MACOSX" for a file's resource fork
// and Finder info, and links stored as entries whose Unix mode marks a link.
#include <minizip/unzip.h>

#include <string>

#include "runtime/io_safe_path.h"

// Where an AppleDouble or link entry is being unpacked, so its target can be held
// inside the folder the archive goes to.
struct unzip_entry_place {
	std::string out_dir;          // the folder the archive is unpacked into, ending in "/"
	std::string name;             // the entry's path below out_dir ("__MACOSX/" cut off for an
	                              // AppleDouble entry, its "._" still in place)
	unpack_record* record = nullptr;
};

// Packs the file or link `src` into a new archive `zip`, replacing any file of that
// name. Returns 0 or an error code (20006 when `src` is neither a link nor a regular
// file that can be read).
int file_to_zip(std::string src, std::string zip);

// Unpacks every entry of `zip` below `out_dir` (ending in "/"). Returns 0 or the first
// error: errno when `zip` cannot be opened (one that is no regular file is refused as
// open_regular_file does), 20001 when it holds no readable archive. `first_name`, when
// not null, receives the name of the first entry; with `rename_first` non-zero that
// entry is written as out_dir + the text `first_name` held on entry. `record`, when not null, directs files to temporary names and lists
// what was written (see unpack_record).
int zip_to_file(std::string zip, std::string out_dir, std::string* first_name, int rename_first,
                unpack_record* record = nullptr);

// Applies the current AppleDouble entry to the file `entry_path` names once its last
// "._" is removed. With `place` the file is out_dir + place->name less its last "._";
// without it the file must lie in the folder of entry_path.
int unzip_resource_fork(unzFile zip, std::string entry_path, const unz_file_info64& info,
                        const unzip_entry_place* place = nullptr);

// Makes `path` a symbolic link to the current entry's data. The link is made only when
// its target stays inside place->out_dir (without `place`: inside the folder of `path`).
int unzip_symlink(unzFile zip, std::string path, const unz_file_info64& info,
                  const unzip_entry_place* place = nullptr);

// The AppleDouble data of a file, as written into archives: the constant 46-byte
// header, the fork length, the first 16 bytes of Finder info, 16 zeros and the fork.
std::string make_apple_double(const unsigned char finder_info[16], const std::string& fork);

// What an AppleDouble entry holds. Returns 0, or 20012 when the header is not an
// AppleDouble header or an entry points outside the data.
struct apple_double_parts {
	bool has_finder_info = false;
	unsigned char finder_info[16] = {};
	bool has_fork = false;
	size_t fork_offset = 0, fork_length = 0;
};
int parse_apple_double(const unsigned char* data, size_t size, apple_double_parts* out);
