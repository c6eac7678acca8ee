// Scenery packages and their library files.
#include "extras/scenery_fixture.h"

namespace {
const char* const k_bad_version = "Incorrect version for scenery library file.  Will skip.";
const std::vector<std::string> k_package_alert = {"Error loading the scenery package:", "Custom Scenery/P/",
                                                  "The scenery may not look correct.",
                                                  "Please see the log.txt file for detailed error information."};

std::vector<std::string> lines_of(const kx_test::RecordedAlert& a) { return {a.line1, a.line2, a.line3, a.line4}; }
}  // namespace

TEST(SceneryGlobals, StaticInitialisationSetsTheFolders)
{
	EXPECT_EQ(obj_path, "Resources/objects/");
	EXPECT_EQ(cus_path, "Custom Scenery/");
	EXPECT_EQ(glb_path, "Global Scenery/");
	EXPECT_EQ(def_path, "Resources/default scenery/");
	EXPECT_EQ(def_ovr_str, "-global overlays-");
	EXPECT_EQ(def_ter_str, "-global terrain-");
}

TEST_F(SceneryTest, PackagesComeInPriorityOrderAndAreLogged)
{
	folder("Custom Scenery/B");
	folder("Custom Scenery/-global terrain-");
	folder("Custom Scenery/A");
	folder("Custom Scenery/.hidden");
	file("Custom Scenery/notes.txt");
	folder("Global Scenery/G");
	folder("Resources/default scenery/D");

	DSF_ScanSceneryFolder();

	EXPECT_EQ(scenery_packages,
	          (std::vector<std::string>{"Custom Scenery/A/", "Custom Scenery/B/", "Global Scenery/G/",
	                                    "Custom Scenery/-global terrain-/", "Resources/default scenery/D/"}));
	EXPECT_EQ(package_is_custom, (std::vector<int>{1, 1, 0, 1, 0}));
	EXPECT_EQ(package_problems, (std::vector<int>{0, 0, 0, 0, 0}));
	EXPECT_EQ(log(),
	          "I found the following scenery packages (prioritized in this order):\n"
	          "  0 Custom Scenery/A/\n"
	          "  1 Custom Scenery/B/\n"
	          "  2 Global Scenery/G/\n"
	          "  3 Custom Scenery/-global terrain-/\n"
	          "  4 Resources/default scenery/D/\n"
	          "\n");
	EXPECT_TRUE(alerts.alerts().empty());
	EXPECT_TRUE(dsf_library.empty());
}

TEST_F(SceneryTest, BackslashFolderIsPassedOverWithAWarningAndKeepsItsIndex)
{
	folder("Custom Scenery/-global overlays-");
	folder("Custom Scenery/-global terrain-");
	write_library("Custom Scenery/a\\b/", "EXPORT lib/a.obj a.obj\n");
	write_library("Custom Scenery/z/", "EXPORT lib/z.obj z.obj\n");

	DSF_ScanSceneryFolder();

	EXPECT_EQ(scenery_packages, (std::vector<std::string>{"Custom Scenery/a\\b/", "Custom Scenery/z/",
	                                                      "Custom Scenery/-global overlays-/",
	                                                      "Custom Scenery/-global terrain-/"}));
	EXPECT_EQ(package_is_custom, (std::vector<int>{1, 1, 1, 1}));
	const std::string text = log();
	// The log spells the folder's backslash, as it spells every one a name brings.
	EXPECT_NE(text.find("  0 Custom Scenery/a\\\\b/\n"), std::string::npos);
	size_t warnings = 0;
	for (size_t at = text.find("WARNING: "); at != std::string::npos; at = text.find("WARNING: ", at + 1)) {
		++warnings;
		EXPECT_NE(text.substr(at, text.find('\n', at) - at).find("Custom Scenery/a\\\\b/"), std::string::npos);
	}
	EXPECT_EQ(warnings, 1u);
	EXPECT_EQ(dsf_library.count("lib/a.obj"), 0u);
	ASSERT_EQ(dsf_library.count("lib/z.obj"), 1u);
	EXPECT_EQ(dsf_library["lib/z.obj"]->package, 1);
	EXPECT_TRUE(alerts.alerts().empty());
}

TEST_F(SceneryTest, LibraryCommandsRegisterExportsAndReportEachProblem)
{
	write_library("Custom Scenery/P/",
	              "EXPORT lib\\a.obj objects\\a b.obj \n"
	              "EXPORTER lib/x.obj x.obj\n"
	              "# a comment\n"
	              "\n"
	              "\t EXPORT_EXTEND\tlib/ext.obj  e:f.obj\n"
	              "EXPORT_EXCLUDE lib/ex.obj ex.obj\n"
	              "EXPORT_BACKUP lib/bk.obj bk.obj\n"
	              "EXPORT_RATIO -1 lib/r.obj r.obj\n"
	              "EXPORT_RATIO -+7 lib/r7.obj r7.obj\n"
	              "REGION_DEFINE all\n"
	              "REGION_RECT -180 -90 179 89\n"
	              "REGION_DEFINE bad\n"
	              "REGION_RECT 10 10 9 10\n"
	              "REGION nowhere\n"
	              "REGION all\n"
	              "EXPORT lib/in_all.obj in_all.obj\n"
	              "REGION_DEFINE all\n"
	              "REGION_RECT 0 0 0 0\n"
	              "EXPORT lib/no_real.obj\n"
	              "EXPORT lib/after.obj after.obj");

	DSF_ScanSceneryFolder();

	ASSERT_EQ(dsf_library.count("lib/a.obj"), 1u);
	const lib_entry* a = dsf_library["lib/a.obj"];
	EXPECT_EQ(a->real_path, "objects/a b.obj ");
	EXPECT_EQ(a->flags, lib_flag_export);
	EXPECT_EQ(a->ratio, 1u);
	EXPECT_EQ(a->package, 0);
	EXPECT_EQ(a->region, nullptr);
	EXPECT_EQ(dsf_library.count("lib/x.obj"), 0u);
	EXPECT_EQ(chain_of("lib/ext.obj"), std::vector<std::string>{"e/f.obj"});
	EXPECT_EQ(dsf_library["lib/ext.obj"]->flags, 0u);
	EXPECT_EQ(dsf_library["lib/ex.obj"]->flags, lib_flag_exclude);
	EXPECT_EQ(dsf_library["lib/bk.obj"]->flags, lib_flag_backup);
	EXPECT_EQ(dsf_library["lib/r.obj"]->ratio, 0xFFFFFFu);
	EXPECT_EQ(dsf_library["lib/r.obj"]->flags, lib_flag_export);
	EXPECT_EQ(dsf_library["lib/r7.obj"]->ratio, 7u);

	ASSERT_EQ(dsf_regions.count("all"), 1u);
	EXPECT_EQ(cells_set(dsf_regions["all"]), lib_region_cols * lib_region_rows);
	EXPECT_EQ(cells_set(dsf_regions["bad"]), 0);
	EXPECT_EQ(dsf_library["lib/in_all.obj"]->region, dsf_regions["all"]);
	// A missing real path leaves the next line its own.
	EXPECT_EQ(chain_of("lib/no_real.obj"), std::vector<std::string>{""});
	EXPECT_EQ(chain_of("lib/after.obj"), std::vector<std::string>{"after.obj"});
	EXPECT_EQ(dsf_library.size(), 9u);

	EXPECT_EQ(problems("Custom Scenery/P/library.txt"),
	          (std::vector<std::string>{
	              "Library error: you cannot have a ratio of more than 2^24 lib items for r.obj -> lib/r.obj.",
	              "The boundaries to a REGION_RECT command are out of range: 190,100->189,100",
	              "REGION nowhere - region unknown.  Ingoring",
	              "REGION_DEFINE all - region already defined.  Ignoring.",
	              "REGION_RECT command used but no region has been defined.",
	          }));
	// One alert for the package however many problems it has.
	ASSERT_EQ(alerts.alerts().size(), 1u);
	EXPECT_EQ(alerts.alerts()[0].type, t_alert);
	EXPECT_EQ(lines_of(alerts.alerts()[0]), k_package_alert);
	EXPECT_EQ(package_problems, std::vector<int>{1});
}

TEST_F(SceneryTest, RegionBitmapSetsCellsFromTheImageRows)
{
	std::vector<unsigned char> map(lib_region_cols * lib_region_rows, 0);
	map[0] = 255;  // the top-left pixel: the north-west cell
	folder("Custom Scenery/P/maps");
	ASSERT_TRUE(write_grey_png(env.path("Custom Scenery/P/maps/top.png"), lib_region_cols, lib_region_rows, map));
	ASSERT_TRUE(write_grey_png(env.path("Custom Scenery/P/small.png"), 100, 100,
	                           std::vector<unsigned char>(100 * 100, 255)));
	write_library("Custom Scenery/P/",
	              "REGION_BITMAP small.png\n"
	              "REGION_DEFINE nw\n"
	              "REGION_BITMAP maps\\top.png\n"
	              "REGION nw\n"
	              "EXPORT lib/m.obj m.obj\n"
	              "REGION_DEFINE small\n"
	              "REGION_BITMAP small.png\n"
	              "REGION_BITMAP missing.png\n");

	DSF_ScanSceneryFolder();

	const lib_region* nw = dsf_regions["nw"];
	ASSERT_NE(nw, nullptr);
	EXPECT_EQ(cells_set(nw), 1);
	EXPECT_TRUE(nw->cells[0 * lib_region_rows + 179]);
	EXPECT_EQ(cells_set(dsf_regions["small"]), 0);
	std::string p = "lib/m.obj";
	EXPECT_TRUE(DSF_LookupLibraryResource(-180, 89, p, 0));
	EXPECT_EQ(p, "Custom Scenery/P/m.obj");
	p = "lib/m.obj";
	EXPECT_FALSE(DSF_LookupLibraryResource(-180, -90, p, 0));

	EXPECT_EQ(problems("Custom Scenery/P/library.txt"),
	          (std::vector<std::string>{
	              "REGION_BITMAP used with no region defined.  REGION_BITMAP will be ignored.",
	              "REGION_BITMAP with bitmap small.png has a size of 100, 100 but need sa size of 360x180.",
	              "Unable to load bitmap file 'missing.png' for REGION_BITMAP command - will skip.",
	          }));
	EXPECT_EQ(alerts.alerts().size(), 1u);
}

TEST_F(SceneryTest, WrongVersionOrIdentifierSkipsTheFileAndAMissingFileSaysNothing)
{
	file("Custom Scenery/A/library.txt", "I\n810 version\nLIBRARY\n\nEXPORT lib/a.obj a.obj\n");
	file("Custom Scenery/B/library.txt", "I\n800 version\n\nEXPORT lib/b.obj b.obj\n");
	folder("Custom Scenery/C");
	write_library("Custom Scenery/D/", "EXPORT lib/d.obj d.obj\n");

	DSF_ScanSceneryFolder();

	using entries = std::vector<std::pair<std::string, std::string>>;
	EXPECT_EQ(problem_entries(), (entries{{"Custom Scenery/A/library.txt", k_bad_version},
	                                      {"Custom Scenery/B/library.txt", k_bad_version}}));
	const std::string text = log();
	EXPECT_EQ(text.find("Custom Scenery/C/library.txt"), std::string::npos);
	EXPECT_EQ(dsf_library.size(), 1u);
	EXPECT_EQ(dsf_library.count("lib/d.obj"), 1u);
	ASSERT_EQ(alerts.alerts().size(), 2u);
	EXPECT_EQ(alerts.alerts()[0].line2, "Custom Scenery/A/");
	EXPECT_EQ(alerts.alerts()[1].line2, "Custom Scenery/B/");
	EXPECT_EQ(package_problems, (std::vector<int>{1, 1, 0, 0}));
}

TEST_F(SceneryTest, ChainsKeepExportsInOrderAndBackupsLatestFirst)
{
	write_library("Custom Scenery/P0/", "EXPORT v a\nEXPORT_BACKUP v b\n");
	write_library("Custom Scenery/P1/", "EXPORT v c\nEXPORT_BACKUP v d\n");
	DSF_ScanSceneryFolder();
	EXPECT_EQ(chain_of("v"), (std::vector<std::string>{"a", "c", "d", "b"}));

	// A chain of backups only takes the next export at its head.
	dsf_library.clear();
	DSF_RegisterEntry("w", entry(0, lib_flag_backup, 1, "b1"));
	DSF_RegisterEntry("w", entry(0, lib_flag_backup, 1, "b2"));
	DSF_RegisterEntry("w", entry(0, 0, 1, "e1"));
	DSF_RegisterEntry("w", entry(0, lib_flag_export, 1, "e2"));
	EXPECT_EQ(chain_of("w"), (std::vector<std::string>{"e1", "e2", "b2", "b1"}));
}

TEST_F(SceneryTest, FileEndingInsideAnIntegerTakesItsDigits)
{
	write_library("Custom Scenery/P/", "REGION_DEFINE r\nREGION_RECT -180 -90 179 8");
	DSF_ScanSceneryFolder();
	const lib_region* r = dsf_regions["r"];
	ASSERT_NE(r, nullptr);
	EXPECT_TRUE(r->cells[359 * lib_region_rows + 98]);
	EXPECT_FALSE(r->cells[0 * lib_region_rows + 99]);
	EXPECT_EQ(cells_set(r), lib_region_cols * 99);
	EXPECT_TRUE(alerts.alerts().empty());
}

namespace {
// A library file of exactly one page, so that the byte after its last one is not
// mapped: a scan that ran past the end would fault.
std::string page_sized(const std::string& body, const std::string& last)
{
	const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
	std::string text = "I\n800 version\nLIBRARY\n\n" + body;
	while (text.size() + last.size() < page) {
		const size_t room = page - text.size() - last.size();
		text += room > 40 ? std::string(38, '#') + "\n" : std::string(room - 1, '#') + "\n";
	}
	return text + last;
}
}  // namespace

TEST_F(SceneryTest, LibraryCutOffMidLineStaysInsideTheFile)
{
	const char* const endings[] = {"EXPORT lib/z.obj zz", "EXPORT lib/z.obj", "EXPORT_RATIO 12", "EXPORT",
	                               "REGION_RECT -1 -1 1 1", "REGION_DEFINE", "REGION_BITMAP x", "EXPORT_RATIO -"};
	for (const char* last : endings) {
		SCOPED_TRACE(last);
		const std::string text = page_sized("REGION_DEFINE r\n", last);
		ASSERT_EQ(text.size(), static_cast<size_t>(sysconf(_SC_PAGESIZE)));
		file("Custom Scenery/P/library.txt", text);
		DSF_ScanSceneryFolder();
	}
	file("Custom Scenery/P/library.txt", page_sized("", "EXPORT lib/z.obj zz"));
	DSF_ScanSceneryFolder();
	EXPECT_EQ(chain_of("lib/z.obj"), std::vector<std::string>{"zz"});
}

TEST_F(SceneryTest, LongDigitStringsWrapWithoutOverflow)
{
	const std::string digits(10000, '9');
	write_library("Custom Scenery/P/", "EXPORT_RATIO " + digits + " lib/big.obj big.obj\n"
	                                   "REGION_DEFINE r\n"
	                                   "REGION_RECT " + digits + " -" + digits + " " + digits + " " + digits + "\n"
	                                   "EXPORT lib/next.obj next.obj\n");
	DSF_ScanSceneryFolder();
	// 10^10000 - 1 taken modulo 2^32.
	uint32_t wrapped = 0;
	for (size_t i = 0; i < digits.size(); ++i) wrapped = wrapped * 10u + 9u;
	ASSERT_EQ(dsf_library.count("lib/big.obj"), 1u);
	EXPECT_EQ(dsf_library["lib/big.obj"]->ratio, wrapped & lib_ratio_mask);
	EXPECT_EQ(chain_of("lib/next.obj"), std::vector<std::string>{"next.obj"});
	EXPECT_EQ(cells_set(dsf_regions["r"]), 0);
	const std::vector<std::string> msgs = problems("Custom Scenery/P/library.txt");
	ASSERT_EQ(msgs.size(), 2u);
	EXPECT_EQ(msgs[1].rfind("The boundaries to a REGION_RECT command are out of range: ", 0), 0u);
}
