// The HTTP response fuzz target's seeds, run through the target as ordinary tests, so
// every build checks them and not only a fuzzing run.
#include <dirent.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "support/test_env.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

TEST(HttpFuzzSeeds, EverySeedPassesTheTarget)
{
	const char* src = std::getenv("KX_SOURCE_DIR");
	ASSERT_NE(src, nullptr) << "KX_SOURCE_DIR names the checkout";
	const std::string dir = std::string(src) + "/fuzz/corpus/http/";
	DIR* d = opendir(dir.c_str());
	ASSERT_NE(d, nullptr) << dir;
	int seeds = 0;
	while (dirent* e = readdir(d)) {
		if (e->d_name[0] == '.') continue;
		const std::string bytes = kx_test::read_file(dir + e->d_name);
		SCOPED_TRACE(e->d_name);
		EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0);
		++seeds;
	}
	closedir(d);
	EXPECT_GE(seeds, 5);
}
