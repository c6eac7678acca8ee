#pragma once
// What a disc, a stick or a copy may hold where a file belongs that is no file: a FIFO
// (whose open waits for a writer), a folder, and a link to a device that reads without
// end. Every reader of a file from outside refuses each at once, with the error given.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace kx_test {

enum class no_file_kind { fifo, folder, zero_link };

struct no_file {
	const char* what;
	no_file_kind kind;
	int error;  // what the refusal says
};

inline constexpr no_file kNoFiles[] = {{"a FIFO", no_file_kind::fifo, ENODEV},
                                       {"a folder", no_file_kind::folder, EISDIR},
                                       {"a link to /dev/zero", no_file_kind::zero_link, ENODEV}};

// Puts `f` at `path`, where nothing is. True when it is there.
inline bool plant_no_file(const no_file& f, const std::string& path)
{
	switch (f.kind) {
	case no_file_kind::fifo: return mkfifo(path.c_str(), 0600) == 0;
	case no_file_kind::folder: return mkdir(path.c_str(), 0755) == 0;
	case no_file_kind::zero_link: return symlink("/dev/zero", path.c_str()) == 0;
	}
	return false;
}

}  // namespace kx_test
