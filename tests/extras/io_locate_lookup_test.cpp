// Library lookups, the folder searches, the error reporters and tile paths.
#include "extras/scenery_fixture.h"

namespace {
using strings = std::vector<std::string>;

// The "Failed to find resource" lines of a log, in order.
strings failure_lines(const std::string& text)
{
	strings out;
	size_t at = 0;
	while ((at = text.find("Failed to find resource '", at)) != std::string::npos) {
		const size_t nl = text.find('\n', at);
		out.push_back(text.substr(at, nl - at));
		at = nl;
	}
	return out;
}

strings no_lib_lines(const std::string& name, const strings& candidates)
{
	strings out;
	for (const std::string& c : candidates) out.push_back("Failed to find resource '" + name + "' at '" + c + "'");
	return out;
}

strings secondary_lines(const std::string& name, const std::string& parent, const strings& candidates)
{
	strings out;
	for (const std::string& c : candidates)
		out.push_back("Failed to find resource '" + name + "' (parent = '" + parent + "' at '" + c + "'");
	return out;
}

strings three(const std::string& folder, const std::string& stem)
{
	return {folder + stem + ".dds", folder + stem + ".png", folder + stem + ".bmp"};
}

strings join(std::initializer_list<strings> parts)
{
	strings out;
	for (const strings& p : parts) out.insert(out.end(), p.begin(), p.end());
	return out;
}
}  // namespace

class LookupTest : public SceneryTest {
protected:
	void SetUp() override
	{
		SceneryTest::SetUp();
		scenery_packages = {"P0/", "P1/"};
		package_problems = {0, 0};
		package_is_custom = {1, 1};
	}

	std::string pick(const std::string& vpath, int n, int lon = 0, int lat = 0)
	{
		std::string p = vpath;
		return DSF_LookupLibraryResource(lon, lat, p, n) ? p : "-";
	}
};

TEST_F(LookupTest, WeightedPickStaysWithinTheFirstPackage)
{
	DSF_RegisterEntry("v", entry(0, lib_flag_export, 1, "a"));
	DSF_RegisterEntry("v", entry(0, lib_flag_export, 3, "b"));
	DSF_RegisterEntry("v", entry(1, lib_flag_export, 1, "c"));
	const float draws[] = {0.0f, 0.25f, 0.5f, 0.75f, 0.9998f};
	for (int i = 0; i < 5; ++i) randrat[i] = draws[i];
	EXPECT_EQ(pick("v", 0), "P0/a");
	EXPECT_EQ(pick("v", 1), "P0/b");
	EXPECT_EQ(pick("v", 2), "P0/b");
	EXPECT_EQ(pick("v", 3), "P0/b");
	EXPECT_EQ(pick("v", 4), "P0/b");
	// n wraps into the table, negative n too.
	randrat[randrat_count - 1] = 0.9f;
	EXPECT_EQ(pick("v", randrat_count + 1), "P0/b");
	EXPECT_EQ(pick("v", -1), "P0/b");
	EXPECT_EQ(pick("v", -randrat_count), "P0/a");
	EXPECT_EQ(pick("v", INT_MIN), pick("v", INT_MIN % randrat_count + randrat_count));
	std::string p = "v";
	EXPECT_TRUE(DSF_LookupLibraryResourceAnywhere(p, 1));
	EXPECT_EQ(p, "P0/b");

	strings all;
	EXPECT_TRUE(DSF_LookupLibraryResourceAnywhereMultiple("v", all));
	EXPECT_EQ(all, (strings{"P0/a", "P0/b", "P0/b", "P0/b"}));
	all = {"stale"};
	EXPECT_TRUE(DSF_LookupLibraryResourceMultiple(5, 5, "v", all));
	EXPECT_EQ(all.size(), 4u);
	EXPECT_FALSE(DSF_LookupLibraryResourceMultiple(5, 5, "nothing", all));
	EXPECT_TRUE(all.empty());
	EXPECT_EQ(pick("nothing", 0), "-");
}

TEST_F(LookupTest, ExtendsAndBackupsRunOnIntoTheNextPackage)
{
	DSF_RegisterEntry("v", entry(0, 0, 1, "a"));
	DSF_RegisterEntry("v", entry(1, lib_flag_export, 1, "b"));
	DSF_RegisterEntry("v", entry(1, lib_flag_backup, 2, "z"));
	strings all;
	EXPECT_TRUE(DSF_LookupLibraryResourceAnywhereMultiple("v", all));
	EXPECT_EQ(all, (strings{"P0/a", "P1/b", "P1/z", "P1/z"}));
}

TEST_F(LookupTest, ExcludeFirstInTheChainIsTheOnlyCandidate)
{
	DSF_RegisterEntry("v", entry(0, lib_flag_exclude, 2, "x"));
	DSF_RegisterEntry("v", entry(0, lib_flag_export, 5, "a"));
	DSF_RegisterEntry("v", entry(1, lib_flag_export, 5, "b"));
	for (int i = 0; i < 4; ++i) randrat[i] = 0.3f * static_cast<float>(i);
	for (int n = 0; n < 4; ++n) EXPECT_EQ(pick("v", n), "P0/x");
	strings all;
	EXPECT_TRUE(DSF_LookupLibraryResourceAnywhereMultiple("v", all));
	EXPECT_EQ(all, (strings{"P0/x", "P0/x"}));
}

TEST_F(LookupTest, RegionThatMissesTheCellIsSkippedInBothWalks)
{
	lib_region* r = new lib_region;
	r->name = "one";
	std::fill(std::begin(r->cells), std::end(r->cells), false);
	r->cells[10 * lib_region_rows + 10] = true;  // lon -170, lat -80
	DSF_RegisterEntry("v", entry(0, 0, 5, "regional", r));
	DSF_RegisterEntry("v", entry(0, lib_flag_export, 1, "a"));
	randrat[0] = 0.0f;
	randrat[1] = 0.9f;
	EXPECT_EQ(pick("v", 0), "P0/a");
	EXPECT_EQ(pick("v", 1), "P0/a");
	EXPECT_EQ(pick("v", 0, -170, -80), "P0/regional");
	EXPECT_EQ(pick("v", 1, -170, -80), "P0/a");
	strings all;
	EXPECT_TRUE(DSF_LookupLibraryResourceMultiple(0, 0, "v", all));
	EXPECT_EQ(all, strings{"P0/a"});
	EXPECT_TRUE(DSF_LookupLibraryResourceMultiple(-170, -80, "v", all));
	EXPECT_EQ(all.size(), 6u);
	// A cell off the grid lies in no region.
	for (int lon : {-500, -181, 180, 500}) EXPECT_EQ(pick("v", 0, lon, 0), "P0/a");
	for (int lat : {-91, 90, INT_MAX}) EXPECT_EQ(pick("v", 0, 0, lat), "P0/a");
	EXPECT_EQ(pick("v", 0, INT_MIN, INT_MIN), "P0/a");
	delete r;
}

TEST_F(LookupTest, ZeroRatiosGiveNoPickAndLeaveThePath)
{
	DSF_RegisterEntry("v", entry(0, lib_flag_export, 0, "a"));
	std::string p = "v";
	EXPECT_FALSE(DSF_LookupLibraryResource(0, 0, p, 0));
	EXPECT_EQ(p, "v");
	strings all;
	EXPECT_FALSE(DSF_LookupLibraryResourceAnywhereMultiple("v", all));
}

TEST_F(LookupTest, ManyMaximalRatiosStillPickByWeight)
{
	// 201 maximal ratios sum past what an int holds.
	const int count = 201;
	for (int i = 0; i < count; ++i) DSF_RegisterEntry("v", entry(0, 0, lib_ratio_mask, "e" + std::to_string(i)));
	randrat[0] = 0.0f;
	randrat[1] = 0.9998f;
	randrat[2] = 0.5f;
	EXPECT_EQ(pick("v", 0), "P0/e0");
	EXPECT_EQ(pick("v", 1), "P0/e200");
	EXPECT_EQ(pick("v", 2), "P0/e100");
}

TEST_F(SceneryTest, FolderSearchTriesEachKindsCandidatesInOrder)
{
	const std::string pk = "Custom Scenery/P/";
	struct search_case {
		int kind;
		std::string name;
		strings candidates;
	};
	const search_case cases[] = {
	    {0, "a.obj", {pk + "a.obj", "Resources/a.obj"}},
	    {1, "rock.ter",
	     join({three(pk, "rock"), three(pk + "custom terrain textures/", "rock"),
	           three(pk + "custom object textures/", "rock"), three("Resources/bitmaps/terrain/", "rock"),
	           three("Resources/", "rock")})},
	    {1, "rock",
	     {pk + "rock", pk + "rock", pk + "rock", pk + "custom terrain textures/rock",
	      pk + "custom terrain textures/rock", pk + "custom terrain textures/rock", pk + "custom object textures/rock",
	      pk + "custom object textures/rock", pk + "custom object textures/rock", "Resources/bitmaps/terrain/rock",
	      "Resources/bitmaps/terrain/rock", "Resources/bitmaps/terrain/rock", "Resources/rock", "Resources/rock",
	      "Resources/rock"}},
	    {2, "g.ter",
	     {pk + "g.ter", pk + "custom terrain textures/g.ter", "Resources/bitmaps/terrain/g.ter", "Resources/g.ter"}},
	    {3, "h.obj", {pk + "h.obj", pk + "custom objects/h.obj", "Resources/objects/h.obj", "Resources/h.obj"}},
	    {7, "h.obj", {pk + "h.obj", pk + "custom objects/h.obj", "Resources/objects/h.obj", "Resources/h.obj"}},
	    {8, "o.obj", {pk + "o.obj"}},
	    {-1, "o.obj", {pk + "o.obj"}},
	};
	for (const search_case& c : cases) {
		SCOPED_TRACE(c.kind);
		SCOPED_TRACE(c.name);
		std::string out = "stale";
		const size_t before = failure_lines(log()).size();
		DSF_LocateResourceNoLib(c.kind, c.name, pk, false, out);
		EXPECT_EQ(out, "");
		EXPECT_EQ(failure_lines(log()).size(), before);
		xer.close();
		xer.open(env.path("log.txt"));
		DSF_LocateResourceNoLib(c.kind, c.name, pk, true, out);
		EXPECT_EQ(failure_lines(log()), no_lib_lines(c.name, c.candidates));
		// Each candidate, made the only file, is found; then the one before it wins.
		std::vector<std::string> made;
		for (auto it = c.candidates.rbegin(); it != c.candidates.rend(); ++it) {
			file(*it);
			made.push_back(*it);
			DSF_LocateResourceNoLib(c.kind, c.name, pk, true, out);
			EXPECT_EQ(out, *it);
		}
		for (const std::string& m : made) unlink(env.path(m).c_str());
		xer.close();
		xer.open(env.path("log.txt"));
	}
	// Folders do not count as resources.
	folder(pk + "dir.obj");
	std::string out;
	DSF_LocateResourceNoLib(0, "dir.obj", pk, false, out);
	EXPECT_EQ(out, "");
}

TEST_F(SceneryTest, SecondarySearchStartsBesideTheParent)
{
	const std::string pk = "Custom Scenery/P/";
	const std::string parent = pk + "objects/";
	struct search_case {
		int kind, subkind;
		std::string parent, name;
		strings candidates;
	};
	const search_case cases[] = {
	    {0, 0, parent, "a.txt", {parent + "a.txt", "Resources/a.txt"}},
	    {1, 2, parent, "t.png",
	     join({three(parent, "t"), three(pk + "custom terrain textures/", "t"), three("Resources/bitmaps/terrain/", "t"),
	           three("Resources/", "t")})},
	    {1, 0, parent, "t.png",
	     join({three(parent, "t"), three(pk + "custom object textures/", "t"), three("Resources/bitmaps/terrain/", "t"),
	           three("Resources/", "t")})},
	    {2, 0, parent, "g.ter",
	     {parent + "g.ter", pk + "custom terrain textures/g.ter", "Resources/bitmaps/terrain/g.ter", "Resources/g.ter"}},
	    {5, 0, parent, "h.obj",
	     {parent + "h.obj", pk + "custom objects/h.obj", "Resources/objects/h.obj", "Resources/h.obj"}},
	    {9, 0, parent, "o.obj", {parent + "o.obj"}},
	    {3, 0, "", "h.obj", {"Resources/objects/h.obj", "Resources/h.obj"}},
	    {3, 0, "Elsewhere/x/", "h.obj", {"Elsewhere/x/h.obj", "Resources/objects/h.obj", "Resources/h.obj"}},
	};
	for (const search_case& c : cases) {
		SCOPED_TRACE(c.kind);
		SCOPED_TRACE(c.parent);
		xer.close();
		xer.open(env.path("log.txt"));
		std::string out = "stale";
		DSF_LocateResourceSecondary(c.kind, c.subkind, c.parent, c.name, true, out);
		EXPECT_EQ(out, "");
		EXPECT_EQ(failure_lines(log()), secondary_lines(c.name, c.parent, c.candidates));
		file(c.candidates.back());
		DSF_LocateResourceSecondary(c.kind, c.subkind, c.parent, c.name, false, out);
		EXPECT_EQ(out, c.candidates.back());
		file(c.candidates.front());
		DSF_LocateResourceSecondary(c.kind, c.subkind, c.parent, c.name, false, out);
		EXPECT_EQ(out, c.candidates.front());
		unlink(env.path(c.candidates.front()).c_str());
		unlink(env.path(c.candidates.back()).c_str());
	}
}

TEST(ScenerySearch, ExtractPackageFindsTheFolderAfterAPackageRoot)
{
	EXPECT_EQ(extract_package("Custom Scenery/P/objects/a.obj"), "Custom Scenery/P/");
	EXPECT_EQ(extract_package("Global Scenery/G\\x\\y"), "Global Scenery/G\\");
	EXPECT_EQ(extract_package("Resources/default scenery/D:x"), "Resources/default scenery/D:");
	EXPECT_EQ(extract_package("Custom Scenery/P"), "");
	EXPECT_EQ(extract_package("Custom Scenery/"), "");
	EXPECT_EQ(extract_package("Custom Scenery"), "");
	EXPECT_EQ(extract_package("Other/P/a.obj"), "");
	EXPECT_EQ(extract_package(""), "");
}

TEST_F(LookupTest, PrimarySearchesTryTheLibraryThenTheFolders)
{
	DSF_RegisterEntry("lib/a.obj", entry(0, lib_flag_export, 2, "real/a.obj"));
	file("P1/b.obj");
	std::string out;
	DSF_LocateResourcePrimary(0, 0, 3, "lib/a.obj", "P1/", true, out, 0);
	EXPECT_EQ(out, "P0/real/a.obj");
	DSF_LocateResourcePrimary(0, 0, 3, "b.obj", "P1/", true, out, 0);
	EXPECT_EQ(out, "P1/b.obj");
	EXPECT_TRUE(failure_lines(log()).empty());

	// The folder search always runs; it logs only while the library gave nothing.
	file("P1/lib/a.obj");
	strings many = {"stale"};
	DSF_LocateResourcePrimaryMultiple(0, 0, 3, "lib/a.obj", "P1/", true, many);
	EXPECT_EQ(many, (strings{"P0/real/a.obj", "P0/real/a.obj", "P1/lib/a.obj"}));
	DSF_LocateResourcePrimaryMultiple(0, 0, 3, "lib/none.obj", "P2/", true, many);
	EXPECT_TRUE(many.empty());
	EXPECT_EQ(failure_lines(log()).size(), 4u);
	unlink(env.path("P1/lib/a.obj").c_str());
	DSF_LocateResourcePrimaryMultiple(0, 0, 3, "lib/a.obj", "P1/", true, many);
	EXPECT_EQ(many, (strings{"P0/real/a.obj", "P0/real/a.obj"}));
	EXPECT_EQ(failure_lines(log()).size(), 4u);

	DSF_LocateResourceSecondaryMultipleWithLibrary(0, 0, 3, 0, "P1/", "b.obj", true, many);
	EXPECT_EQ(many, strings{"P1/b.obj"});
	DSF_LocateResourceSecondaryMultipleWithLibrary(0, 0, 3, 0, "P1/", "lib/a.obj", true, many);
	EXPECT_EQ(many, (strings{"P0/real/a.obj", "P0/real/a.obj"}));
	DSF_LocateResourceSecondaryMultipleWithLibrary(0, 0, 3, 0, "P1/", "none.obj", true, many);
	EXPECT_TRUE(many.empty());
	EXPECT_EQ(failure_lines(log()).size(), 7u);
}

TEST(SceneryTiles, TilePathsNameTheirTenDegreeFolder)
{
	std::string s;
	return_latlon_str_dsf(-33, 151, &s);
	EXPECT_EQ(s, "-40+150/-33+151.dsf");
	return_latlon_str_dsf(0, 0, &s);
	EXPECT_EQ(s, "+00+000/+00+000.dsf");
	return_latlon_str_dsf(45, -7, &s);
	EXPECT_EQ(s, "+40-010/+45-007.dsf");
	return_latlon_str_dsf(-90, -180, &s);
	EXPECT_EQ(s, "-90-180/-90-180.dsf");
	return_latlon_str_dsf(89, 179, &s);
	EXPECT_EQ(s, "+80+170/+89+179.dsf");
	for (int lat = -90; lat <= 90; lat += 7)
		for (int lon = -180; lon <= 180; lon += 11) {
			return_latlon_str_dsf(lat, lon, &s);
			EXPECT_EQ(s.size(), 19u);
		}
	// Values off the globe still give 19 characters.
	for (int v : {INT_MIN, -1000, 1000, INT_MAX}) {
		return_latlon_str_dsf(v, v, &s);
		EXPECT_EQ(s.size(), 19u) << v;
	}
}

TEST_F(LookupTest, NonFatalProblemsAlertOncePerPackage)
{
	__DSF_NonFatalError("src/here", 12, "P1/x.dsf", "first %d", 1);
	__DSF_NonFatalError("src/here", 13, "P1/y.dsf", "second %s", "two");
	__DSF_NonFatalError("src/here", 14, "P0/", "third");
	const std::string text = log();
	EXPECT_NE(text.find("***Error with scenery file \"P1/x.dsf\" (src/here: 12.)\n  first 1\n"), std::string::npos);
	EXPECT_NE(text.find("***Error with scenery file \"P1/y.dsf\" (src/here: 13.)\n  second two\n"), std::string::npos);
	ASSERT_EQ(alerts.alerts().size(), 2u);
	EXPECT_EQ(alerts.alerts()[0].line2, "P1/");
	EXPECT_EQ(alerts.alerts()[1].line2, "P0/");
	EXPECT_EQ(package_problems, (std::vector<int>{1, 1}));

	// A file of no package is only logged.
	__DSF_NonFatalError("src/here", 15, "Q/z.dsf", "fourth");
	EXPECT_EQ(alerts.alerts().size(), 2u);
	EXPECT_NE(log().find("  fourth\n"), std::string::npos);
}

TEST_F(LookupTest, OverlongMessagesAreCut)
{
	const std::string big(10000, 'm');
	__DSF_NonFatalError("src/here", 1, "Q/z.dsf", "%s", big.c_str());
	const std::string text = log();
	EXPECT_NE(text.find("  " + std::string(4095, 'm') + "\n"), std::string::npos);
	EXPECT_EQ(text.find(std::string(4096, 'm')), std::string::npos);
}

TEST_F(LookupTest, FatalProblemsNameTheRemedy)
{
	package_is_custom = {1, 0};
	EXPECT_THROW(__DSF_FatalError("src/here", 20, "P0/a.dsf", "bad"), kx_test::AlertExit);
	EXPECT_THROW(__DSF_FatalError("src/here", 21, "P1/a.dsf", "bad"), kx_test::AlertExit);
	EXPECT_THROW(__DSF_FatalError("src/here", 22, "Q/a.dsf", "bad"), kx_test::AlertExit);
	const auto a = alerts.alerts();
	ASSERT_EQ(a.size(), 3u);
	for (const auto& x : a) {
		EXPECT_EQ(x.type, t_exit);
		EXPECT_EQ(x.line1, "Error loading the scenery package:");
		EXPECT_EQ(x.line4, "Please see the log.txt file for detailed error information.");
	}
	EXPECT_EQ(a[0].line2, "P0/");
	EXPECT_EQ(a[0].line3,
	          "Kestrix cannot run with this package installed - you may need to remove the custom  scenery package.");
	EXPECT_EQ(a[1].line2, "P1/");
	EXPECT_EQ(a[1].line3, "Kestrix cannot run with this package installed - You may need to reinstall Kestrix.");
	EXPECT_EQ(a[2].line2, "Q/a.dsf");
	EXPECT_EQ(a[2].line3, "Kestrix cannot run with this corrupt file.");
	EXPECT_EQ(package_problems, (std::vector<int>{1, 1}));
}

TEST_F(LookupTest, FatalProblemEndsTheProcessWithStatusOne)
{
	EXPECT_EXIT(
	    {
		    DIDIVI_set_alert_presenter(nullptr);
		    DIDIVI_set_alert_exit(nullptr);
		    __DSF_FatalError("src/here", 30, "P0/a.dsf", "broken");
	    },
	    ::testing::ExitedWithCode(1), "Error loading the scenery package:");
}
