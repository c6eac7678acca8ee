#include "platform/plat_xattr.h"

#include <sys/xattr.h>

#include <cerrno>
#include <cstring>
#include <vector>

const char* const kResourceForkAttr = "user.com.apple.ResourceFork";
const char* const kFinderInfoAttr = "user.com.apple.FinderInfo";

// The l* calls throughout: an attribute is never set or read through a link, so an
// archive entry cannot reach a file outside the folder it is unpacked into.
static int read_attr(const std::string& path, const char* name, std::vector<char>* out)
{
	// The value may change size between the two calls; try again when it grew.
	for (int tries = 0; tries < 4; ++tries) {
		ssize_t n = lgetxattr(path.c_str(), name, nullptr, 0);
		if (n < 0) return errno;
		out->resize(static_cast<size_t>(n));
		if (n == 0) return 0;
		ssize_t got = lgetxattr(path.c_str(), name, out->data(), out->size());
		if (got >= 0) {
			out->resize(static_cast<size_t>(got));
			return 0;
		}
		if (errno != ERANGE) return errno;
	}
	return ERANGE;
}

int plat_resource_fork_size(const std::string& path, unsigned long long* size)
{
	ssize_t n = lgetxattr(path.c_str(), kResourceForkAttr, nullptr, 0);
	if (n < 0) return errno;
	*size = static_cast<unsigned long long>(n);
	return 0;
}

int plat_read_resource_fork(const std::string& path, std::string* data)
{
	std::vector<char> v;
	int err = read_attr(path, kResourceForkAttr, &v);
	if (err) return err;
	data->assign(v.begin(), v.end());
	return 0;
}

int plat_write_resource_fork(const std::string& path, const std::string& data)
{
	if (lsetxattr(path.c_str(), kResourceForkAttr, data.data(), data.size(), 0) != 0) return errno;
	return 0;
}

int plat_read_finder_info(const std::string& path, unsigned char info[kFinderInfoSize])
{
	std::vector<char> v;
	int err = read_attr(path, kFinderInfoAttr, &v);
	if (err) return err;
	std::memset(info, 0, kFinderInfoSize);
	std::memcpy(info, v.data(), v.size() < kFinderInfoSize ? v.size() : kFinderInfoSize);
	return 0;
}

int plat_write_finder_info(const std::string& path, const unsigned char info[kFinderInfoSize])
{
	if (lsetxattr(path.c_str(), kFinderInfoAttr, info, kFinderInfoSize, 0) != 0) return errno;
	return 0;
}
