#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "runtime/hl_math.h"
#include "runtime/hl_math_ui.h"

// Defined in hl_math_second_unit_test.cpp: reads and writes that unit's own copy.
float second_unit_mtrstoft();
void second_unit_set_mtrstoft(float v);
std::string second_unit_build_name();
float second_unit_f9();

TEST(SharedBlock, ValuesTheInstallerReads)
{
	EXPECT_EQ(build_name[0], "Kestrix 9.10r1");
	EXPECT_EQ(build_name[1], "Zira");
	EXPECT_EQ(build_name[2], "Devu");
	EXPECT_EQ(build_name[0].substr(build_name[0].size() - 4), "10r1");  // the User-agent version
	EXPECT_EQ(no_install_name, "Not Yet Scanned");
	EXPECT_EQ(degtorad, 0.0174532942f);
	EXPECT_EQ(radtodeg, 57.2957764f);
	EXPECT_NEAR(degtorad * radtodeg, 1.0f, 1e-6f);
}

TEST(SharedBlock, PathsAndPairs)
{
	EXPECT_EQ(afl_path, "Airfoils/");
	EXPECT_EQ(wpn_path, "Weapons/");
	EXPECT_EQ(apt_path_def, "LOWI");
	EXPECT_EQ(data_path, "Resources/default data/");
	ASSERT_EQ(acf_path_def.substr(0, acf_path.size()), "Aircraft/");
	const std::string rel = acf_path_def.substr(acf_path.size());
	EXPECT_EQ(rel.size(), 37u);
	EXPECT_EQ(rel.substr(rel.size() - 4), ".acf");
	EXPECT_EQ(std::count(rel.begin(), rel.end(), '/'), 2);  // category, aircraft, file

	EXPECT_EQ(kgstolbh, kgstopph);
	EXPECT_EQ(f3, f9);
	EXPECT_EQ(prd_min, 0.000990099041f);
	EXPECT_NEAR(prd_min, 1.0f / 1010.0f, 1e-9f);
	EXPECT_EQ(nmtomtrs, 1852.0f);
	EXPECT_EQ(enItomtI, 0.0421401225f);
	EXPECT_EQ(f1, 0.146607667f);
	EXPECT_NEAR(f8, 7.2f * degtorad, 1e-6f);
}

TEST(SharedBlock, EachUnitHasItsOwnCopy)
{
	EXPECT_EQ(second_unit_mtrstoft(), mtrstoft);
	EXPECT_EQ(second_unit_build_name(), build_name[0]);
	EXPECT_EQ(second_unit_f9(), f9);

	const float old = mtrstoft;
	mtrstoft = 1.0f;
	EXPECT_EQ(second_unit_mtrstoft(), 3.28083992f);
	second_unit_set_mtrstoft(2.0f);
	EXPECT_EQ(mtrstoft, 1.0f);
	EXPECT_EQ(second_unit_mtrstoft(), 2.0f);
	second_unit_set_mtrstoft(old);
	mtrstoft = old;
}
