#include "support/planted_link.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "support/test_env.h"

namespace kx_test {

namespace {
// Well before any test runs, so that a write at any time moves it.
constexpr time_t kOldTime = 1000000000;
}  // namespace

PlantedLink::PlantedLink(std::string link, std::string target, link_kind kind, const std::string& contents)
    : link_(std::move(link)), target_(std::move(target)), contents_(contents), kind_(kind)
{
	// The target's folder exists, so that a write through the link would land.
	for (size_t slash = target_.find('/', 1); slash != std::string::npos; slash = target_.find('/', slash + 1))
		::mkdir(target_.substr(0, slash).c_str(), 0700);
	if (kind_ == link_kind::to_user_file) {
		EXPECT_TRUE(write_file(target_, contents_)) << target_;
		const timespec times[2] = {{kOldTime, 0}, {kOldTime, 0}};
		EXPECT_EQ(::utimensat(AT_FDCWD, target_.c_str(), times, 0), 0) << target_;
	}
	EXPECT_EQ(::symlink(target_.c_str(), link_.c_str()), 0) << link_;
}

::testing::AssertionResult PlantedLink::untouched() const
{
	char points_at[PATH_MAX];
	const ssize_t n = ::readlink(link_.c_str(), points_at, sizeof points_at);
	if (n < 0 || std::string(points_at, size_t(n)) != target_)
		return ::testing::AssertionFailure() << link_ << " is no longer the link to " << target_;
	struct stat st;
	if (kind_ == link_kind::dangling) {
		if (::lstat(target_.c_str(), &st) == 0)
			return ::testing::AssertionFailure() << "something was made at " << target_ << " through the link";
		return ::testing::AssertionSuccess();
	}
	if (::lstat(target_.c_str(), &st) != 0) return ::testing::AssertionFailure() << target_ << " is gone";
	const std::string now = read_file(target_);
	if (now != contents_) return ::testing::AssertionFailure() << target_ << " now holds: " << now.substr(0, 200);
	if (st.st_mtim.tv_sec != kOldTime) return ::testing::AssertionFailure() << target_ << " was written to";
	return ::testing::AssertionSuccess();
}

}  // namespace kx_test
