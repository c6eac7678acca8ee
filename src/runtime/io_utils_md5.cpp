// File digests.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "runtime/hl_errors.h"
#include "runtime/hl_globals.h"
#include "runtime/io_utils.h"
#include "runtime/xmap.h"

void MD5UpdateWide(MD5_CTX* context, const unsigned char* data, unsigned int length)
{
	// The update call the digests were first made with took a 16-bit length.
	while (length > 0) {
		const unsigned int piece = length < 65535u ? length : 65535u;
		MD5Update(context, data, piece);
		data += piece;
		length -= piece;
	}
}

size_t md5_map_threshold = 64u << 20;

namespace {
// The size of each thread's read buffer: large enough that a read costs little next to
// its digest, small enough that every pool thread keeps one.
constexpr size_t kReadBufferBytes = 256u << 10;

// Digests a regular file below the threshold through the calling thread's buffer, in
// one sequential pass: no mapping, so digest threads never queue on the process's
// address-space lock. 0, or err_file_open_read when it yields no data; -1 when the
// file is large enough to be mapped instead.
int digest_by_reading(const std::string& path, MD5_CTX* context)
{
	// Paths the mapper corrects or refuses first go to it, so both ways agree on them.
	constexpr size_t kLongestPath = 499;
	const std::string full = app_path + path;
	if (g_case_sensitive || path.find('\\') != std::string::npos || full.size() > kLongestPath) return -1;
	const int fd = open(full.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
	if (fd < 0) return err_file_open_read;
	struct stat st;
	if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
		close(fd);
		return err_file_open_read;  // a folder, FIFO or device has no data to digest
	}
	if (static_cast<unsigned long long>(st.st_size) >= md5_map_threshold) {
		close(fd);
		return -1;
	}
	thread_local std::vector<unsigned char> buffer(kReadBufferBytes);
	MD5Init(context);
	int result = 0;
	for (;;) {
		const ssize_t n = read(fd, buffer.data(), buffer.size());
		if (n < 0 && errno == EINTR) continue;
		if (n < 0) {
			result = err_file_open_read;
			break;
		}
		if (n == 0) break;
		MD5UpdateWide(context, buffer.data(), static_cast<unsigned int>(n));
	}
	close(fd);
	return result;
}

void digest_text(MD5_CTX* context, std::string& digest)
{
	unsigned char raw[MD5_DIGEST_LENGTH];
	MD5Final(raw, context);
	char hex[2 * MD5_DIGEST_LENGTH + 1];
	for (int i = 0; i < MD5_DIGEST_LENGTH; ++i) std::snprintf(hex + 2 * i, 3, "%02x", raw[i]);
	digest.assign(hex, 2 * MD5_DIGEST_LENGTH);
}
}  // namespace

int calc_file_md5(const std::string& path, std::string& digest)
{
	MD5_CTX context;
	std::string target;
	if (is_sim_link(path.c_str(), &target)) {
		MD5Init(&context);
		MD5UpdateWide(&context, reinterpret_cast<const unsigned char*>(target.data()),
		              static_cast<unsigned int>(target.size()));
		digest_text(&context, digest);
		return 0;
	}
	// Small files are read, large ones mapped (reading them costs a copy per byte that
	// mapping saves); the results are the same.
	const int read_result = digest_by_reading(path, &context);
	if (read_result == 0) {
		digest_text(&context, digest);
		return 0;
	}
	if (read_result != -1) return read_result;
	// A fatal alert on a pool thread would end that thread: a path the mapper refuses is
	// simply a file that yields no data.
	xmap_class file(path, xmap_class::no_alerts);
	if (!file.begin) return err_file_open_read;
	MD5Init(&context);
	// The digest routine takes 32-bit lengths; a file beyond 4 GB goes in several calls.
	const unsigned char* p = reinterpret_cast<const unsigned char*>(file.begin);
	size_t left = static_cast<size_t>(file.end - file.begin);
	while (left > 0) {
		const unsigned int chunk = left > 0x40000000u ? 0x40000000u : static_cast<unsigned int>(left);
		MD5UpdateWide(&context, p, chunk);
		p += chunk;
		left -= chunk;
	}
	digest_text(&context, digest);
	return 0;
}
