// File and folder operations.
#include "runtime/io_utils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/hl_alert.h"
#include "runtime/hl_errors.h"
#include "runtime/hl_globals.h"
#include "runtime/io_safe_path.h"

const char* sErrFile = "";
int sErrLine = -1;

namespace {
const char* const k_io_src = "VAvered/Files/io_utils";
// The piece a copy reads and writes at a time.
constexpr size_t kCopyPiece = 65536;

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

// app_path + path, passed through the case-correcting walk while it is switched on.
// Returns false after the fatal alert for a path too long for that walk.
bool full_test_path(const std::string& path, std::string& full)
{
	full = app_path + path;
	if (!g_case_sensitive) return true;
	if (full.size() > 499) {
		__DIDIVI_alert(0, "String too long!", full, "", "", t_exit, "VAvered/GenH/hl_string", 137);
		return false;
	}
	char buf[500];
	std::memcpy(buf, full.c_str(), full.size() + 1);
	findPath(buf);
	full = buf;
	return true;
}

// Read and write for everyone the umask allows, as any file this program makes.
constexpr mode_t kNewFileMode = 0666;
}  // namespace

int open_regular_file_as(const std::string& path, int flags, int* fd, struct stat* st)
{
	const int d = open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, kNewFileMode);
	if (d < 0) return errno;
	struct stat own;
	struct stat* s = st ? st : &own;
	int err = 0;
	if (fstat(d, s) != 0)
		err = errno;
	else if (!S_ISREG(s->st_mode))
		err = S_ISDIR(s->st_mode) ? EISDIR : ENODEV;
	else {
		// Non-blocking has no effect on a regular file; it is cleared all the same, so the
		// caller holds the descriptor it would have had from a plain open.
		const int now = fcntl(d, F_GETFL);
		if (now == -1 || fcntl(d, F_SETFL, now & ~O_NONBLOCK) == -1) err = errno;
	}
	if (err != 0) {
		close(d);
		return err;
	}
	*fd = d;
	return 0;
}

int open_regular_file(const std::string& path, int* fd, struct stat* st)
{
	return open_regular_file_as(path, O_RDONLY, fd, st);
}

int copy_file(const std::string& src, const std::string& dst)
{
	int in = -1;
	struct stat st;
	if (int e = open_regular_file(src, &in, &st)) return e;
	struct stat dst_st;
	if (stat(dst.c_str(), &dst_st) == 0 && S_ISDIR(dst_st.st_mode)) {
		close(in);
		return EISDIR;
	}
	// The copy goes to a private file that replaces the destination only when every
	// write and the close succeeded: a full disk or a failed read never leaves a
	// truncated file where a good one was.
	unpack_file out;
	int result = out.open(dst);
	std::vector<char> buffer(kCopyPiece);
	while (result == 0) {
		const ssize_t n = read(in, buffer.data(), buffer.size());
		if (n < 0 && errno == EINTR) continue;
		if (n < 0) {
			result = errno;
			break;
		}
		if (n == 0) break;
		result = out.write(buffer.data(), static_cast<size_t>(n));
	}
	if (result == 0) out.set_mode(st.st_mode & 0777);
	close(in);
	if (result == 0) result = out.commit();
	return result;
}

int copy_file_recursive(const std::string& src, const std::string& dst)
{
	if (!dir_exists(src)) return copy_file(src, dst);
	make_folder(dst + "/");
	std::vector<std::string> names;
	std::vector<int> types;
	opensave_getitems(src + "/", 0, names, types);
	for (const std::string& name : names)
		if (int r = copy_file_recursive(src + "/" + name, dst + "/" + name)) return r;
	return 0;
}

int delete_file(const std::string& path)
{
	const std::string full = app_path + path;
	if (full.empty()) return 2;
	if (full.back() == '/') {
		if (rmdir(without_final_slash(full).c_str()) != 0) return record_failure(246);
	} else if (unlink(full.c_str()) != 0)
		return record_failure(252);
	return 0;
}

namespace {
// The tree below `folder` (a real folder on the device `dev`), then the folder itself.
int delete_tree_on(const std::string& folder, dev_t dev)
{
	std::vector<std::string> names;
	std::vector<int> types;
	opensave_getitems(folder, 0, names, types);
	for (const std::string& name : names) {
		// The listing types a folder by its name's extension ("x.txt/" reads as text) and a
		// link to a folder as a file; only a real folder is walked into, and only on the
		// device the delete started on: a folder mounted inside is another file system,
		// whose files are nobody's to remove from here. Its mount point only gets a
		// rmdir, which fails and ends the delete with that error.
		const std::string entry = folder + name;
		struct stat st;
		const bool real_folder = lstat((app_path + entry).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
		int r;
		if (!real_folder) r = delete_file(entry);
		else if (st.st_dev != dev) r = delete_file(entry + "/");
		else r = delete_tree_on(entry + "/", dev);
		if (r != 0) return r;
	}
	return delete_file(folder);
}
}  // namespace

int recursive_delete_folder(const std::string& folder)
{
	// A link named as the folder is removed as a link: nothing it points to is touched.
	struct stat st;
	const std::string self = without_final_slash(app_path + folder);
	if (!self.empty() && lstat(self.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
		return delete_file(without_final_slash(folder));
	if (self.empty() || lstat(self.c_str(), &st) != 0) return delete_file(folder);
	return delete_tree_on(folder, st.st_dev);
}

int rename_file(const std::string& folder, const std::string& old_name, const std::string& new_name)
{
	if (rename((folder + old_name).c_str(), (folder + new_name).c_str()) != 0) return record_failure(470);
	return 0;
}

int make_folder(const std::string& path)
{
	if (mkdir(without_final_slash(path).c_str(), 0755) != 0) return record_failure(491);
	return 0;
}

int make_file_executable(const char* path)
{
	const std::string full = app_path + path;
	// A link's own mode means nothing, and following it could change a file outside the
	// folder being installed.
	struct stat st;
	if (lstat(full.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) return 0;
	if (chmod(full.c_str(), 0755) != 0) return errno;
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

int file_exists(const std::string& path)
{
	std::string full;
	struct stat st;
	return full_test_path(path, full) && stat(full.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) ? 1 : 0;
}

int dir_exists(const std::string& path)
{
	std::string full;
	struct stat st;
	return full_test_path(path, full) && stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? 1 : 0;
}

int APL_file_size(const std::string& path)
{
	std::string full;
	struct stat st;
	if (!full_test_path(path, full) || stat(full.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
	return static_cast<int>(static_cast<uint32_t>(st.st_size));
}

int make_file_large_address_aware(std::string path)
{
	FILE* f = std::fopen(path.c_str(), "r+b");
	if (!f) return errno;
	int result = 0;
	unsigned char dos[64];
	unsigned char pe[24];
	long offset = 0;
	if (std::fread(dos, 1, sizeof dos, f) != sizeof dos)
		result = EIO;
	else if (dos[0] != 0x4D || dos[1] != 0x5A)
		result = err_not_mz;
	else {
		offset = static_cast<long>(static_cast<uint32_t>(dos[60]) | static_cast<uint32_t>(dos[61]) << 8 |
		                           static_cast<uint32_t>(dos[62]) << 16 | static_cast<uint32_t>(dos[63]) << 24);
		if (std::fseek(f, offset, SEEK_SET) != 0)
			result = errno;
		else if (std::fread(pe, 1, sizeof pe, f) != sizeof pe)
			result = EIO;
		else if (pe[0] != 0x50 || pe[1] != 0x45 || pe[2] != 0 || pe[3] != 0)
			result = err_not_pe;
		else {
			pe[22] |= 0x20;
			if (std::fseek(f, offset, SEEK_SET) != 0)
				result = errno;
			else if (std::fwrite(pe, 1, sizeof pe, f) != sizeof pe)
				result = EIO;
		}
	}
	if (std::fclose(f) != 0 && result == 0) result = errno;
	return result;
}
