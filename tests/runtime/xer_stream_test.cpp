#include <gtest/gtest.h>

#include <iomanip>

#include "runtime/hl_globals.h"
#include "support/test_env.h"

// std::flush and std::endl reach the file at once, wherever they stand in the
// statement, and formatting set in one statement does not leak into the next.
TEST(Xer, FlushRequestsReachTheFileAndFormatsStayInTheirStatement)
{
	kx_test::TempEnv env;
	const std::string path = env.path("log.txt");
	xer.open(path);
	ASSERT_TRUE(xer.is_open());
	xer << "first" << std::flush;
	EXPECT_EQ(kx_test::read_file(path), "first");
	xer << std::endl;
	EXPECT_EQ(kx_test::read_file(path), "first\n");
	xer << std::fixed << std::setprecision(1) << 2.25 << std::endl;
	xer << 2.25 << std::endl;
	EXPECT_EQ(kx_test::read_file(path), "first\n2.2\n2.25\n");
	xer.close();
}
