#include "support/master_tree.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <random>

#include "support/test_env.h"

namespace kx_test {

namespace {
void put(MasterTree& t, const std::string& rel, const std::string& data, bool ship = true)
{
	write_file(t.root + rel, data);
	(ship ? t.shipped : t.dropped).push_back(rel);
}

const char* const kBulkFolders[] = {"All/Aircraft/General Aviation/Cub/", "All/Airfoils/", "All/Instructions/",
                                    "All/Resources/default data/", "All/Resources/sounds/engine/",
                                    "All/Weapons/", "All/Output/", "Macintosh/Resources/", "Windows/Resources/",
                                    "Linux/Resources/", "All/Custom Scenery/Small Airport/Earth nav data/"};
// The smallest file the builder's large-address-aware step accepts: a DOS header whose
// word at byte 60 points at a "PE\0\0" signature and a 20-byte file header.
std::string windows_exe()
{
	std::string s(64 + 24 + 100, '\0');
	s[0] = 'M';
	s[1] = 'Z';
	s[60] = 64;
	s[64] = 'P';
	s[65] = 'E';
	return s;
}
}  // namespace

std::string make_content(uint32_t seed, size_t bytes, bool compressible)
{
	std::mt19937 rng(seed);
	std::string s;
	s.reserve(bytes);
	if (compressible) {
		static const char* const words[] = {"runway ", "taxiway ", "approach ", "heading ", "altitude ", "flaps\n"};
		while (s.size() < bytes) s += words[rng() % 6];
		s.resize(bytes);
	} else {
		while (s.size() < bytes) s.push_back(static_cast<char>(rng() & 0xff));
	}
	return s;
}

MasterTree make_master_tree(const std::string& root, const MasterTreeOptions& o)
{
	MasterTree t;
	t.root = root;
	std::mt19937 rng(o.seed);

	// What the builder requires to find.
	put(t, "All/Resources/menus/English/Kestrix.txt", "menus\n");
	put(t, "All/Resources/text/English/Kestrix.txt", "texts\n");
	put(t, "All/Resources/default scenery/900 red terrain/red.txt", make_content(o.seed + 1, 3000, true));
	put(t, "All/Resources/bitmaps/Earth Orbit Textures/orbit.png", make_content(o.seed + 2, 5000, false));
	put(t, "All/Resources/plugins/readme plugins.txt", "plug-ins\n");
	for (const char* d : {"Macintosh/", "Windows/", "Linux/"}) ::mkdir((root + d).c_str(), 0755);
	for (const char* d : {"All/Aircraft/", "All/Airfoils/", "All/Instructions/", "All/Output/", "All/Weapons/",
	                      "All/Custom Scenery/", "All/Global Scenery/"})
		::mkdir((root + d).c_str(), 0755);

	// Plug-ins for each platform, kept in the shared folder.
	put(t, "All/Resources/plugins/VTLM.shlb", make_content(o.seed + 3, 4000, false));
	put(t, "All/Resources/plugins/VTLM.dll", make_content(o.seed + 4, 4000, false));
	put(t, "All/Resources/plugins/VTLM.so", make_content(o.seed + 5, 4000, false));
	put(t, "All/Resources/plugins/ExtdeskLin.vtl", make_content(o.seed + 6, 2000, true));
	put(t, "All/Resources/plugins/ExtdeskWin.vtl", make_content(o.seed + 7, 2000, true));

	// Odd but legal names, an executable, an empty file and a relative link.
	put(t, "All/Instructions/Read Me First.txt", make_content(o.seed + 8, 1500, true));
	put(t, "Linux/Kestrix Linux", make_content(o.seed + 9, 30000, false));
	::chmod((root + "Linux/Kestrix Linux").c_str(), 0755);
	put(t, "All/Output/empty log.txt", "");
	::symlink("../Instructions/Read Me First.txt", (root + "All/Output/manual link").c_str());
	t.links["All/Output/manual link"] = "../Instructions/Read Me First.txt";
	t.shipped.push_back("All/Output/manual link");
	put(t, "Windows/Kestrix.exe", windows_exe());
	put(t, "Macintosh/Kestrix.app/Contents/MacOS/Kestrix", make_content(o.seed + 11, 3000, false));
	put(t, "All/Custom Scenery/Small Airport/Earth nav data/apt.dat", make_content(o.seed + 12, 8000, true));
	// A folder whose name ends like a file type's.
	put(t, "All/Resources/release notes.txt/details.dat", make_content(o.seed + 13, 2500, true));

	// Files the filter drops wherever they lie.
	put(t, "All/Resources/Thumbs.db", "x", false);
	put(t, "All/Resources/.DS_Store", "x", false);
	put(t, "All/Aircraft/old.bak", "x", false);
	put(t, "All/Resources/network.txt", "x", false);

	// Global-scenery tiles in several bands.
	const char* const kTiles[] = {"+40-080", "+40-090", "+30-080", "-10+020", "+50+000", "-40+170", "+00-010", "+60+100"};
	std::vector<std::string> tiles = o.tile_names;
	if (tiles.empty())
		for (int i = 0; i < o.tile_count && i < 8; ++i) tiles.push_back(kTiles[i]);
	for (int i = 0; i < static_cast<int>(tiles.size()); ++i) {
		const std::string tile = tiles[static_cast<size_t>(i)];
		const std::string rel = "All/Global Scenery/-global terrain-/" + tile + "/" + tile + ".dsf";
		put(t, rel, make_content(o.seed + 100 + static_cast<uint32_t>(i), o.tile_bytes / 2 + rng() % (o.tile_bytes / 2 + 1), i % 2 == 0));
		t.tiles.push_back(rel);
	}

	// The bulk: mixed sizes and compressibility.
	for (int i = 0; i < o.bulk_files; ++i) {
		const std::string folder = kBulkFolders[rng() % (sizeof kBulkFolders / sizeof *kBulkFolders)];
		const size_t bytes = rng() % (o.max_file_bytes + 1);
		put(t, folder + "file " + std::to_string(i) + ".dat", make_content(o.seed * 7919u + static_cast<uint32_t>(i), bytes, rng() % 2 == 0));
	}
	return t;
}

Generation next_generation(MasterTree& t, uint32_t seed, int changed, int added, int removed)
{
	std::mt19937 rng(seed);
	Generation g;
	std::vector<std::string> bulk;
	for (const std::string& p : t.shipped)
		if (p.find("/file ") != std::string::npos) bulk.push_back(p);
	std::shuffle(bulk.begin(), bulk.end(), rng);
	size_t k = 0;
	for (int i = 0; i < changed && k < bulk.size(); ++i, ++k) {
		write_file(t.root + bulk[k], make_content(seed + static_cast<uint32_t>(k), 1000 + rng() % 20000, true));
		g.changed.push_back(bulk[k]);
	}
	for (int i = 0; i < removed && k < bulk.size(); ++i, ++k) {
		::unlink((t.root + bulk[k]).c_str());
		t.shipped.erase(std::find(t.shipped.begin(), t.shipped.end(), bulk[k]));
		g.removed.push_back(bulk[k]);
	}
	for (int i = 0; i < added; ++i) {
		const std::string rel = "All/Resources/added/gen " + std::to_string(seed) + " file " + std::to_string(i) + ".txt";
		write_file(t.root + rel, make_content(seed * 31u + static_cast<uint32_t>(i), 500 + rng() % 5000, true));
		t.shipped.push_back(rel);
		g.added.push_back(rel);
	}
	return g;
}

}  // namespace kx_test
