// File digests.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "runtime/hl_errors.h"
#include "runtime/hl_globals.h"
#include "runtime/io_utils.h"

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

namespace {
// The size of each thread's read buffer: large enough that a read costs little next to
// its digest, small enough that every pool thread keeps one.
constexpr size_t kReadBufferBytes = 256u << 10;

digest_opened_fn g_opened_hook = nullptr;

// Digests a regular file through the calling thread's buffer, in one sequential pass.
// A file is never mapped: a mapped file that shrinks, or a page of it that cannot be
// read (a bad sector, an unplugged disk), ends the process with a signal, and mapping
// many files from several threads at once queues them all on the process's
// address-space lock. 0, or err_file_open_read when the file yields no data: it cannot
// be opened, is no regular file, a read fails, or it does not hold the bytes its size
// said when it was opened (it changed while read).
int digest_by_reading(const std::string& path, MD5_CTX* context)
{
	int fd = -1;
	struct stat st;
	if (open_regular_file(app_path + path, &fd, &st) != 0) return err_file_open_read;
	if (g_opened_hook) g_opened_hook(path);
	thread_local std::vector<unsigned char> buffer(kReadBufferBytes);
	const unsigned long long size = static_cast<unsigned long long>(st.st_size);
	unsigned long long total = 0;
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
		total += static_cast<unsigned long long>(n);
		// A file that grows while it is read would never end; its digest is no use anyway.
		if (total > size) break;
		MD5UpdateWide(context, buffer.data(), static_cast<unsigned int>(n));
	}
	close(fd);
	if (total != size) result = err_file_open_read;
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
	if (const int e = digest_by_reading(path, &context)) return e;
	digest_text(&context, digest);
	return 0;
}

digest_opened_fn calc_file_md5_set_opened_hook(digest_opened_fn f)
{
	const digest_opened_fn old = g_opened_hook;
	g_opened_hook = f;
	return old;
}
