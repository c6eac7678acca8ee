#pragma once
// A seeded generator of builder master trees, for the pipeline tests and benchmarks.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kx_test {

struct MasterTreeOptions {
	uint32_t seed = 1;
	int bulk_files = 40;          // ordinary files spread over the tree
	size_t max_file_bytes = 200000;
	int tile_count = 6;           // global-scenery tiles, in several 10-degree bands
	size_t tile_bytes = 120000;
	std::vector<std::string> tile_names;  // when not empty, exactly these tiles ("+40-080"...)
};

// What a generated tree holds, by path inside the master tree (e.g. "All/Resources/x.txt").
struct MasterTree {
	std::string root;                          // ends in "/"
	std::vector<std::string> shipped;          // files the builder must take
	std::vector<std::string> dropped;          // files the builder's filter must drop
	std::map<std::string, std::string> links;  // relative links: path -> target text
	std::vector<std::string> tiles;            // global-scenery tiles among `shipped`
};

// Writes a complete master tree below `root` (which must exist and end in "/").
MasterTree make_master_tree(const std::string& root, const MasterTreeOptions& o);

// The next generation of a tree: changes `changed` files, adds `added` new ones and
// removes `removed` ones (never the required files). Returns the paths it touched.
struct Generation {
	std::vector<std::string> changed, added, removed;
};
Generation next_generation(MasterTree& t, uint32_t seed, int changed, int added, int removed);

// Deterministic content: compressible text or incompressible bytes.
std::string make_content(uint32_t seed, size_t bytes, bool compressible);

}  // namespace kx_test
