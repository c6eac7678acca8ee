#include "runtime/xmap.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "runtime/hl_alert.h"
#include "runtime/hl_globals.h"
#include "runtime/io_utils.h"

std::atomic<int> mapped_files_open{0};

namespace {
// An empty file has no mapping but must still read as present: begin == end, not null.
const char k_empty_data[1] = {0};

const char* const k_xmap_src = "VAvered/OOPS_cpp/xmap";
const char* const k_io_src = "VAvered/Files/io_utils";
const char* const k_str_src = "VAvered/GenH/hl_string";

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_eol(char c) { return c == 0 || c == '\r' || c == '\n'; }
bool is_space_or_eol(char c) { return is_blank(c) || is_eol(c); }

// The longest full path the framework's fixed path buffers hold.
const size_t k_max_path = 499;

void string_too_long(const std::string& full)
{
	__DIDIVI_alert(0, "String too long!", full, "", "", t_exit, k_str_src, 137);
}
}  // namespace

xmap_class::xmap_class(const std::string& p)
{
	if (p.empty()) return;
	path = p;
	retry(p);
}

xmap_class::xmap_class(const std::string& p, read_whole_t) : read_(true)
{
	if (p.empty()) return;
	path = p;
	retry(p);
}

xmap_class::~xmap_class() { unmap(); }

void xmap_class::unmap()
{
	if (!read_ && begin && end > begin) munmap(const_cast<char*>(begin), static_cast<size_t>(end - begin));
	if (fd != 0) close(fd);
	fd = 0;
	data_.clear();
	data_.shrink_to_fit();
	begin = cur = end = nullptr;
}

int xmap_class::read_in(int from, size_t size)
{
	try {
		data_.resize(size);
	} catch (const std::bad_alloc&) {
		return ENOMEM;
	}
	size_t got = 0;
	for (;;) {
		// One byte beyond the length: a file that grew since is no more whole than one
		// that shrank.
		char extra;
		char* to = got < size ? data_.data() + got : &extra;
		const ssize_t n = read(from, to, got < size ? size - got : 1);
		if (n < 0 && errno == EINTR) continue;
		if (n < 0) return errno;
		if (n == 0) break;
		got += static_cast<size_t>(n);
		if (got > size) break;
	}
	return got == size ? 0 : EIO;
}

const char* xmap_class::retry(const std::string& p)
{
	if (!app_path.empty() && app_path.size() <= p.size() && p.find(app_path) != std::string::npos) {
		__DIDIVI_alert(0, "retry: We are getting a file string that is not Orvala relative!",
		               "This is illegal! All paths must be Orvala relative!", "The path in question is:", p, t_exit,
		               k_xmap_src, 122);
		return nullptr;
	}
	// ':' is an ordinary name character here; only a backslash betrays a foreign separator.
	if (p.find('\\') != std::string::npos) {
		__DIDIVI_alert(0, "OOPS!", "I got a bad dirchar! I only want '/'!", "The path in question is:", p, t_exit,
		               k_xmap_src, 128);
		return nullptr;
	}
	std::string full = app_path + p;
	if (full.size() > k_max_path) {
		string_too_long(full);
		return nullptr;
	}
	if (g_case_sensitive) {
		char buf[k_max_path + 1];
		std::memcpy(buf, full.c_str(), full.size() + 1);
		findPath(buf);
		full = buf;
	}

	if (begin || fd != 0) {
		if (begin && !read_) --mapped_files_open;
		unmap();
	}

	// Only a regular file has a length to map or read; a FIFO given as a data file is
	// refused without waiting for a writer. A file that is not there, or not ours to
	// read, is no error worth a line.
	int d = -1;
	struct stat st;
	int err = open_regular_file(full, &d, &st);
	if (err != 0 && err != EISDIR && err != ENODEV) return nullptr;
	const size_t size = err == 0 ? static_cast<size_t>(st.st_size) : 0;
	if (err == 0 && read_) {
		err = read_in(d, size);
		close(d);
		if (err == 0) begin = size == 0 ? k_empty_data : data_.data();
	} else if (err == 0) {
		if (d == 0) {
			// 0 means "no descriptor" in this object; keep the file on another number.
			const int moved = fcntl(d, F_DUPFD_CLOEXEC, 1);
			close(d);
			if (moved < 0) return nullptr;
			d = moved;
		}
		fd = d;
		++mapped_files_open;
		if (size == 0) {
			begin = k_empty_data;
		} else {
			void* m = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
			if (m == MAP_FAILED)
				err = errno;
			else
				begin = static_cast<const char*>(m);
		}
	}
	if (err != 0) {
		xer << "Mem file error.  Err=" << err << ", file=" << full << "\n";
		data_.clear();
		begin = cur = end = nullptr;
		if (err == ENOMEM) {
			char num[64];
			std::snprintf(num, sizeof num, "errno=%f", static_cast<double>(err));
			__DIDIVI_alert(0, "Xmapped out of memory", "c_path=", full, num, t_exit, k_xmap_src, 172);
		}
		return nullptr;
	}
	end = begin + size;
	cur = begin;
	return begin;
}

int xmap_class::check_file(int type, const int* versions, const char* ident, std::string* version_text)
{
	if (type != xmap_binary && type != xmap_text) {
		__DIDIVI_alert(0, "Bad check_file type!", path, "", "", t_exit, k_xmap_src, 12);
		return 0;
	}
	if (!begin || begin == end) return 0;
	cur = begin;

	int version = 0;
	if (type == xmap_binary) {
		if (*cur == 'a')
			swap = 1;
		else if (*cur == 'i')
			swap = 0;
		else
			return 0;
		++cur;
		if (end - cur >= 4) {
			unsigned char b[4];
			std::memcpy(b, cur, 4);
			if (swap) {
				std::swap(b[0], b[3]);
				std::swap(b[1], b[2]);
			}
			std::memcpy(&version, b, 4);
			cur += 4;
		}
	} else {
		const char first = *cur;
		while (cur < end && *cur != '\r' && *cur != '\n') ++cur;
		while (cur < end && is_space_or_eol(*cur)) ++cur;
		if (first != 'A' && first != 'I') return 0;

		while (cur < end && is_blank(*cur)) ++cur;
		if (cur < end) {
			bool negative = false;
			if (*cur == '-') {
				negative = true;
				++cur;
			}
			if (cur < end && *cur == '+') ++cur;
			// Unsigned, so that a long digit string wraps instead of overflowing.
			unsigned int v = 0;
			while (cur < end && !is_space_or_eol(*cur)) {
				v = v * 10u + static_cast<unsigned int>(static_cast<unsigned char>(*cur) - '0');
				++cur;
			}
			if (negative) v = 0u - v;
			version = static_cast<int>(v);
		}
		while (cur < end && is_blank(*cur)) ++cur;
		const char* text = cur;
		while (cur < end && !is_eol(*cur)) ++cur;
		if (version_text) version_text->assign(text, cur);
		while (cur < end && is_space_or_eol(*cur)) ++cur;
	}

	int matched = 0;
	if (version != 0 && versions)
		for (const int* v = versions; *v != 0; ++v)
			if (*v == version) {
				matched = version;
				break;
			}
	if (!matched) return 0;

	if (ident) {
		while (cur < end && is_blank(*cur)) ++cur;
		const char* word = cur;
		const size_t n = std::strlen(ident);
		const bool fits = static_cast<size_t>(end - cur) >= n && std::memcmp(cur, ident, n) == 0;
		if (!fits || (cur + n < end && !is_space_or_eol(cur[n]))) {
			cur = word;
			return 0;
		}
		cur += n;
		while (cur < end && *cur != '\r' && *cur != '\n' && *cur != 0) ++cur;
		while (cur < end && is_space_or_eol(*cur)) ++cur;
	}
	return matched;
}

void xmap_class::read_n_rev(long dest, long n)
{
	// Compared as a count of what is left, so that neither a huge n nor a null map can
	// form a pointer beyond the data.
	const long left = (begin && cur) ? static_cast<long>(end - cur) : 0;
	if (n < 0 || n > left) {
		__DIDIVI_alert(0, "Invalid read_n_rev read!", "", "", "", t_exit, k_xmap_src, 53);
		return;
	}
	if (n == 0) return;
	unsigned char* out = reinterpret_cast<unsigned char*>(dest);
	std::memcpy(out, cur, static_cast<size_t>(n));
	cur += n;
	if (swap)
		for (long i = 0; i + 4 <= n; i += 4) {
			std::swap(out[i], out[i + 3]);
			std::swap(out[i + 1], out[i + 2]);
		}
}

namespace {
// Hands a scanned range to the caller; a missing file scans as empty.
void give(std::string* out, const char* from, const char* to)
{
	if (!out) return;
	if (from)
		out->assign(from, to);
	else
		out->clear();
}
}  // namespace

void xmap_class::TXT_str_scan_space(std::string* out)
{
	while (cur < end && is_blank(*cur)) ++cur;
	const char* word = cur;
	while (cur < end && !is_space_or_eol(*cur)) ++cur;
	give(out, word, cur);
}

void xmap_class::TXT_str_scan_eoln(std::string* out)
{
	while (cur < end && is_blank(*cur)) ++cur;
	const char* text = cur;
	while (cur < end && !is_eol(*cur)) ++cur;
	give(out, text, cur);
	while (cur < end && is_space_or_eol(*cur)) ++cur;
}

void xmap_class::TXT_xer_line()
{
	if (!begin) {
		xer << 1 << " \"\"\n" << std::flush;
		return;
	}
	long crs = 0, lfs = 0;
	const char* line = begin;
	for (const char* p = begin; p < cur; ++p) {
		if (*p == '\r') ++crs;
		if (*p == '\n') ++lfs;
		if (*p == '\r' || *p == '\n') line = p + 1;
	}
	const char* stop = cur;
	while (stop < end && *stop != '\r' && *stop != '\n') ++stop;
	xer << (1 + (crs > lfs ? crs : lfs)) << " \"" << std::string_view(line, size_t(stop - line))
	    << "\"\n" << std::flush;
}

int xmap_class::io_file_open(int mode, std::string p, int* versions, int type)
{
	io_mode = mode;
	if (mode == 1) return ouf_open(p, type, versions ? versions[0] : 0, "no-copyright-string");
	if (mode == 0) {
		if (!retry(p)) return 0;
		return check_file(type, versions, nullptr, nullptr) != 0 ? 1 : 0;
	}
	return 0;
}

void xmap_class::io_file_close()
{
	if (io_mode == 1) ouf.close();
}

int ouf_open(std::string p, int type, int version, std::string copyright)
{
	if (type != xmap_binary && type != xmap_text) {
		__DIDIVI_alert(0, "Bad ouf_open type!", p, "", "", t_exit, k_io_src, 800);
		return 0;
	}
	std::string full = app_path + p;
	// Data-file extensions are written in lower case whatever case the caller used.
	if (full.size() > 3)
		for (size_t i = full.size() - 3; i < full.size(); ++i)
			if (full[i] >= 'A' && full[i] <= 'Z') full[i] = static_cast<char>(full[i] - 'A' + 'a');
	if (full.size() > k_max_path) {
		string_too_long(full);
		return 0;
	}

	for (int attempt = 0; attempt < 2; ++attempt) {
		ouf.clear();
		ouf.close();
		ouf.clear();
		if (type == xmap_text) {
			ouf.open(full, std::ios::out | std::ios::trunc);
			ouf << std::fixed;
			ouf << "I\n" << version << " version";
			if (copyright != "no-copyright-string") ouf << copyright;
			ouf << "\n";
		} else {
			ouf.open(full, std::ios::out | std::ios::binary);
			ouf.put('i');
			ouf.write(reinterpret_cast<const char*>(&version), 4);
		}
		if (ouf.good()) return 1;
		if (attempt == 0) {
			std::string folder = full;
			size_t cut = folder.size() > 1 ? folder.rfind('/', folder.size() - 2) : std::string::npos;
			if (cut != std::string::npos) {
				folder.resize(cut + 1);
				make_folder(folder);
			}
		}
	}
	__DIDIVI_alert(0,
	               "I could not save the file! Could the directory that the file sits in be missing? Or flagged as "
	               "READ-ONLY by the operating system? (Windows machines typically do this).",
	               full, "Could the file be flagged as read-only? This happens in Windows if you copy it from a CD!",
	               "Try putting this app in the background and then flag the file as NOT read-only, or creating the "
	               "folder listed in the path above.",
	               t_alert, k_io_src, 854);
	return 0;
}
