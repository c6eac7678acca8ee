// kestrix-builder: makes the DVD masters, the file list and the DVD identity file from
// a master tree. Options (key=value):
//   src=FOLDER     the master tree (holding All/, Macintosh/, Windows/, Linux/)
//   dst=FOLDER     where the masters go (disk_0/, disk_1/, ...)
//   old=FILE       the previous release's directory.txt, whose history is carried on
//   dvd_kb=N       KB of archives per DVD before the next one starts
//   version=N      the release's version stamp (91001 for 9.10r1)
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/builder/make_installer.h"
#include "runtime/cmdline.h"
#include "runtime/io_utils.h"

namespace {
const char kUsage[] =
    "usage: kestrix-builder src=FOLDER dst=FOLDER [old=FILE] [dvd_kb=N] [version=N]\n"
    "  src=FOLDER   the master tree (holding All/, Macintosh/, Windows/, Linux/)\n"
    "  dst=FOLDER   where the masters go (disk_0/, disk_1/, ...)\n"
    "  old=FILE     the previous release's directory.txt, whose history is carried on\n"
    "  dvd_kb=N     KB of archives per DVD before the next one starts\n"
    "  version=N    the release's version stamp (91001 for 9.10r1)\n";
// Wrong usage, as the shell's own tools report it.
constexpr int kUsageStatus = 2;

std::string absolute_folder(std::string p)
{
	if (p.empty()) return p;
	if (p[0] != '/') {
		char cwd[PATH_MAX];
		if (getcwd(cwd, sizeof cwd)) p = std::string(cwd) + "/" + p;
	}
	if (p.back() != '/') p += '/';
	return p;
}
}  // namespace

int main(int argc, char** argv)
{
	cmdline.init_unix(argc, const_cast<const char**>(argv));
	// Without both folders named the builder would read and write at the root of the
	// file system.
	if (cmdline.get_option("src").empty() || cmdline.get_option("dst").empty()) {
		std::fputs(kUsage, stderr);
		return kUsageStatus;
	}
	src_fold = absolute_folder(cmdline.get_option("src"));
	dst_fold_base = absolute_folder(cmdline.get_option("dst"));
	if (cmdline.has_option("old")) {
		std::string old = absolute_folder(cmdline.get_option("old"));
		old.pop_back();
		old_dir_path = old;
		read_old_dir_always = 1;
	}
	if (cmdline.has_option("dvd_kb")) {
		const long kb = std::strtol(cmdline.get_option("dvd_kb").c_str(), nullptr, 10);
		if (kb > 0) dvd_capacity_kb = static_cast<float>(kb);
	}
	if (cmdline.has_option("version")) {
		const long v = std::strtol(cmdline.get_option("version").c_str(), nullptr, 10);
		if (v > 0 && v < 1000000000) build_version = static_cast<int>(v);
	}
	// The masters folder itself may be new; what lies below it the builder makes.
	if (!dir_exists(dst_fold_base)) make_folder(dst_fold_base);
	build_install();
	return 0;
}
