// Several unpack threads extract different archives at once: nothing in the zip or
// 7z paths may be shared between them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <thread>
#include <vector>

#include "runtime/io_utils_7z.h"
#include "runtime/io_utils_zip.h"
#include "support/archive_tools.h"
#include "support/test_env.h"

using namespace kx_test;

TEST(ArchiveConcurrency, ThreadsUnpackDifferentArchivesAtOnce)
{
	TempEnv env;
	std::string src = env.path("src/");
	std::string payload;
	for (int i = 0; i < 40000; ++i) payload += std::to_string(i * 7919 % 10007) + ",";
	write_file(src + "data.txt", payload);
	std::string tool = seven_zip_tool();
	ASSERT_EQ(file_to_zip(src + "data.txt", env.path("a.zip")), 0);
	bool with_7z = !tool.empty() &&
	               run_sh("cd " + sh_quote(src) + " && " + tool + " a -t7z -bd -y " + sh_quote(env.path("a.7z")) +
	                      " data.txt") == 0;

	const int kThreads = 6;
	std::vector<int> results(kThreads * 2, -1);
	std::vector<std::thread> threads;
	for (int t = 0; t < kThreads; ++t) {
		std::string out = env.path("out" + std::to_string(t) + "/");
		mkdir(out.c_str(), 0755);
		mkdir((out + "z").c_str(), 0755);
		mkdir((out + "s").c_str(), 0755);
		threads.emplace_back([&, t, out] {
			results[t * 2] = zip_to_file(env.path("a.zip"), out + "z/", nullptr, 0);
			results[t * 2 + 1] = with_7z ? p7z_to_file(env.path("a.7z"), out + "s/", nullptr, 0) : 0;
		});
	}
	for (auto& th : threads) th.join();
	for (int t = 0; t < kThreads; ++t) {
		std::string out = env.path("out" + std::to_string(t) + "/");
		EXPECT_EQ(results[t * 2], 0);
		EXPECT_EQ(results[t * 2 + 1], 0);
		EXPECT_EQ(read_file(out + "z/data.txt"), payload);
		if (with_7z) {
			EXPECT_EQ(read_file(out + "s/data.txt"), payload);
		}
	}
}
