// File digests.
#include <cstdio>

#include "runtime/hl_errors.h"
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

namespace {
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
