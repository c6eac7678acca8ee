// File and folder operations.
#include "runtime/io_utils.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "runtime/hl_globals.h"

const char* sErrFile = "";
int sErrLine = -1;

namespace {
const char* const k_io_src = "VAvered/Files/io_utils";

int record_failure(int line)
{
	const int e = errno;
	sErrFile = k_io_src;
	sErrLine = line;
	return e;
}

// Cuts exactly one final "/", as the folder calls want the name without it.
std::string without_final_slash(std::string p)
{
	if (!p.empty() && p.back() == '/') p.pop_back();
	return p;
}
}  // namespace

int make_folder(const std::string& path)
{
	if (mkdir(without_final_slash(path).c_str(), 0755) != 0) return record_failure(491);
	return 0;
}

int is_sim_link(const char* path, std::string* target)
{
	char buf[500];
	const ssize_t n = readlink((app_path + path).c_str(), buf, 499);
	if (n < 0) return 0;
	if (target) target->assign(buf, static_cast<size_t>(n));
	return 1;
}
