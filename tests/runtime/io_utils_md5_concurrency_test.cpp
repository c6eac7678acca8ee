#include <gtest/gtest.h>

#include <latch>
#include <thread>
#include <vector>

#include "runtime/io_utils.h"
#include "runtime/xmap.h"
#include "support/test_env.h"

using kx_test::TempEnv;
using kx_test::write_file;

// The checksum pool digests files on several threads at once; each must get its own
// file's digest through its own thread's buffer, and none maps a file.
TEST(FileDigestConcurrency, EightThreadsDigestAtOnce)
{
	TempEnv env;
	const int threads = 8;
	std::vector<std::string> paths, want;
	for (int t = 0; t < threads; ++t) {
		std::string data(100000 + t * 4099, static_cast<char>('a' + t));
		paths.push_back(env.path("f" + std::to_string(t)));
		write_file(paths.back(), data);
		MD5_CTX c;
		MD5Init(&c);
		MD5Update(&c, reinterpret_cast<const uint8_t*>(data.data()), data.size());
		char hex[MD5_DIGEST_STRING_LENGTH];
		MD5End(&c, hex);
		want.push_back(hex);
	}
	const int before = mapped_files_open.load();
	const int rounds = 20;
	std::vector<std::vector<std::string>> got(threads);
	std::latch start(threads);
	std::vector<std::thread> pool;
	for (int t = 0; t < threads; ++t)
		pool.emplace_back([&, t] {
			start.arrive_and_wait();
			for (int r = 0; r < rounds; ++r) {
				std::string d;
				calc_file_md5(paths[(t + r) % threads], d);
				got[t].push_back(d);
			}
		});
	for (auto& th : pool) th.join();
	for (int t = 0; t < threads; ++t)
		for (int r = 0; r < rounds; ++r) EXPECT_EQ(got[t][r], want[(t + r) % threads]);
	EXPECT_EQ(mapped_files_open.load(), before);
}
