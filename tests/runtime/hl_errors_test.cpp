#include <gtest/gtest.h>

#include <cerrno>
#include <set>

#include "runtime/hl_errors.h"

TEST(ErrorStr, OwnTextsKeepTheirSpelling)
{
	EXPECT_EQ(error_str(20008), "We wre unable to connect to the network due to a bad state error");
	EXPECT_EQ(error_str(20007), "We were unable to connct to the network due to an internal reconnect error");
	EXPECT_EQ(error_str(err_file_open_read), "We could not open a file to read from it");
	EXPECT_EQ(error_str(20012), "Part of the downloaded zip file is corrupted (the resource fork header is bad)");
}

// An errno without a row (a network drive gone, a file system that cannot hold a link)
// says what the system says; the rows keep their own words; what is no errno at all
// (our own codes, the old system's, numbers the system does not know) is unknown.
TEST(ErrorStr, CodesWithoutRowGiveTheSystemsTextOrFallBack)
{
	EXPECT_EQ(error_str(ENOTCONN), "Transport endpoint is not connected");
	EXPECT_EQ(error_str(EOPNOTSUPP), "Operation not supported");
	EXPECT_EQ(error_str(EROFS), "The destination file system is read-only");
	EXPECT_EQ(error_str(20013), "Unknown error occurred (20013)");
	EXPECT_EQ(error_str(20014), "Unknown error occurred (20014)");
	EXPECT_EQ(error_str(200), "Unknown error occurred (200)");
	EXPECT_EQ(error_str(-9999), "Unknown error occurred (-9999)");
	EXPECT_EQ(error_str(0), "Unknown error occurred (0)");
}

TEST(ErrorStr, ErrnoRowsFollowThePlatformNumbers)
{
	EXPECT_EQ(error_str(ENOENT), "No such file or directory");
	EXPECT_EQ(error_str(ENOTEMPTY), "Directory not empty");
	EXPECT_EQ(error_str(EAGAIN), "Resource temporarily unavailable");
	EXPECT_EQ(error_str(EDEADLK), "Resource deadlock avoided");
	EXPECT_EQ(error_str(ENOSPC), "No space left on device. Perhaps your hard drive is full");
	EXPECT_EQ(error_str(-48), "duplicate file name");
	EXPECT_EQ(error_str(-5000), "You have insufficient privileges for this operation");
}

TEST(ErrorStr, EveryErrnoRowIsDistinct)
{
	// Two errno names sharing one number on this platform would hide a row.
	const int codes[] = {EAGAIN, EDEADLK, ENAMETOOLONG, ENOSYS, ENOTEMPTY, EILSEQ, E2BIG, EACCES, EBADF, EBUSY,
	                     ECHILD, EDOM, EEXIST, EFAULT, EFBIG, EINTR, EINVAL, EIO, EISDIR, EMFILE, EMLINK, ENFILE,
	                     ENODEV, ENOENT, ENOEXEC, ENOLCK, ENOMEM, ENOSPC, ENOTDIR, ENOTTY, ENXIO, EPERM, EPIPE,
	                     ERANGE, EROFS, ESPIPE, ESRCH, EXDEV};
	std::set<int> s(std::begin(codes), std::end(codes));
	EXPECT_EQ(s.size(), 38u);
	for (int c : codes) EXPECT_EQ(error_str(c).find("Unknown"), std::string::npos) << c;
}

TEST(ErrorFilters, MakeDirAndDelete)
{
	EXPECT_EQ(show_make_dir_err(0), 0);
	EXPECT_EQ(show_make_dir_err(EEXIST), 0);
	EXPECT_EQ(show_make_dir_err(-48), 0);
	EXPECT_EQ(show_make_dir_err(EACCES), 1);
	EXPECT_EQ(show_del_err(EACCES), 0);
	EXPECT_EQ(show_del_err(0), 0);
}
