#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

#include "runtime/hl_errors.h"
#include "runtime/io_utils.h"
#include "runtime/xmap.h"
#include "support/bounded_wait.h"
#include "support/test_env.h"

using kx_test::AlertRecorder;
using kx_test::TempEnv;
using kx_test::write_file;

namespace {
std::string md5_of_file(const std::string& path)
{
	std::string d = "unset";
	EXPECT_EQ(calc_file_md5(path, d), 0) << path;
	return d;
}

// Mappings of a file (not of anonymous memory) made through our libraries so far.
std::atomic<int> g_file_mappings{0};

void note_mapping(int flags, int fd)
{
	if (!(flags & MAP_ANONYMOUS) && fd >= 0) ++g_file_mappings;
}
}  // namespace

// The test program is linked so that our libraries' mmap calls come here first (see
// CMakeLists.txt).
extern "C" {
void* __real_mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset);
void* __real_mmap64(void* addr, size_t length, int prot, int flags, int fd, off64_t offset);

void* __wrap_mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset)
{
	note_mapping(flags, fd);
	return __real_mmap(addr, length, prot, flags, fd, offset);
}

void* __wrap_mmap64(void* addr, size_t length, int prot, int flags, int fd, off64_t offset)
{
	note_mapping(flags, fd);
	return __real_mmap64(addr, length, prot, flags, fd, offset);
}
}

TEST(FileDigest, Rfc1321Vectors)
{
	TempEnv env;
	const std::pair<const char*, const char*> vectors[] = {
	    {"", "d41d8cd98f00b204e9800998ecf8427e"},
	    {"a", "0cc175b9c0f1b6a831c399e269772661"},
	    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
	    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
	    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
	    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
	    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
	     "57edf4a22be3c955ac49da2e2107b67a"},
	};
	int n = 0;
	for (const auto& v : vectors) {
		const std::string p = env.path("v" + std::to_string(n++));
		ASSERT_TRUE(write_file(p, v.first));
		EXPECT_EQ(md5_of_file(p), v.second) << '"' << v.first << '"';
	}
}

TEST(FileDigest, LargeFilesMatchOneCallDigest)
{
	TempEnv env;
	write_file(env.path("million"), std::string(1000000, 'a'));
	EXPECT_EQ(md5_of_file(env.path("million")), "7707d6ae4e027c70eea2a935c2296f21");
	write_file(env.path("mega"), std::string(1048576, 'a'));
	EXPECT_EQ(md5_of_file(env.path("mega")), "7202826a7791073fe2787f0c94603278");

	// Pieces that straddle the 65535-byte feed give the digest of one whole update.
	std::string data(200003, 0);
	for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + (i >> 9));
	write_file(env.path("mixed"), data);
	MD5_CTX one;
	MD5Init(&one);
	MD5Update(&one, reinterpret_cast<const uint8_t*>(data.data()), data.size());
	char want[MD5_DIGEST_STRING_LENGTH];
	MD5End(&one, want);
	EXPECT_EQ(md5_of_file(env.path("mixed")), want);

	MD5_CTX wide;
	MD5Init(&wide);
	MD5UpdateWide(&wide, reinterpret_cast<const unsigned char*>(data.data()), 0);
	MD5UpdateWide(&wide, reinterpret_cast<const unsigned char*>(data.data()), static_cast<unsigned int>(data.size()));
	char got[MD5_DIGEST_STRING_LENGTH];
	MD5End(&wide, got);
	EXPECT_STREQ(got, want);
}

TEST(FileDigest, LinkIsDigestedAsItsTargetText)
{
	TempEnv env;
	write_file(env.path("abcd"), "what the link points to");
	ASSERT_EQ(symlink("abcd", env.path("link").c_str()), 0);
	EXPECT_EQ(md5_of_file(env.path("link")), "e2fc714c4727ee9395f324cd2e7f331f");
	// A dangling link is no failure.
	ASSERT_EQ(symlink("../target.txt", env.path("dangling").c_str()), 0);
	EXPECT_EQ(md5_of_file(env.path("dangling")), "e942d748a84637d78f1941486a01cd20");
}

TEST(FileDigest, UnreadablePathsKeepTheDigestAndNeverAlert)
{
	TempEnv env;
	AlertRecorder rec;
	std::string d = "previous text";
	EXPECT_EQ(calc_file_md5(env.path("missing"), d), err_file_open_read);
	EXPECT_EQ(calc_file_md5(env.root(), d), err_file_open_read);
	EXPECT_EQ(calc_file_md5(env.path("back\\slash"), d), err_file_open_read);
	EXPECT_EQ(calc_file_md5(env.root() + std::string(600, 'x'), d), err_file_open_read);
	EXPECT_EQ(d, "previous text");
	EXPECT_TRUE(rec.alerts().empty());
}

// A digest reads its file, never maps it, whatever its size: a mapped file that shrinks
// ends the process with a signal.
TEST(FileDigest, FilesAroundTheReadBufferGiveOneCallDigests)
{
	TempEnv env;
	const int mapped = g_file_mappings.load();
	constexpr size_t buffer = 256u << 10;  // the digest's read piece
	for (size_t size : {size_t(0), size_t(1), buffer - 1, buffer, buffer + 1, 2 * buffer + 7}) {
		std::string data(size, '\0');
		for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>(i * 13 + (i >> 11));
		const std::string p = env.path("f" + std::to_string(size));
		ASSERT_TRUE(write_file(p, data));
		MD5_CTX one;
		MD5Init(&one);
		MD5Update(&one, reinterpret_cast<const uint8_t*>(data.data()), data.size());
		char want[MD5_DIGEST_STRING_LENGTH];
		MD5End(&one, want);
		EXPECT_EQ(md5_of_file(p), want) << size;
		EXPECT_EQ(g_file_mappings.load(), mapped) << size;
	}
	// The count sees a mapping where there is one.
	xmap_class mapped_file(env.path("f1"));
	EXPECT_EQ(g_file_mappings.load(), mapped + 1);
}

TEST(FileDigest, FifosAndDevicesYieldNoDataAndNeverWait)
{
	TempEnv env;
	const std::string fifo = env.path("fifo");
	ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
	std::string d = "previous text";
	kx_test::finishes_within("digesting a FIFO", [&] { EXPECT_EQ(calc_file_md5(fifo, d), err_file_open_read); });
	EXPECT_EQ(calc_file_md5("/dev/zero", d), err_file_open_read);
	EXPECT_EQ(d, "previous text");
}
