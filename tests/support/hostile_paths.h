#pragma once
// One table of relative paths for every reader that joins a path from outside (a file
// list, an archive entry) to a folder: which stay inside it and which do not.
#include <string>
#include <vector>

namespace kx_test {

struct path_case {
	std::string path;
	bool stays_inside;
};

inline const std::vector<path_case>& hostile_paths()
{
	static const std::vector<path_case> table = {
	    {"a", true},
	    {"a/b/c.txt", true},
	    {"a/", true},
	    {"..a", true},
	    {"a..", true},
	    {"a/..b/c", true},
	    {"a/b.", true},
	    {"a:b", true},  // ":" is an ordinary character here
	    {"", false},
	    {"/etc/passwd", false},
	    {"..", false},
	    {"../x", false},
	    {"a/../../x", false},
	    {"a/..", false},
	    {"a/../b", false},
	    {".", false},
	    {"./a", false},
	    {"a/./b", false},
	    {"a/.", false},
	    {"a//b", false},
	    {"a/b//", false},
	    {"//a", false},
	    {"a\\..\\..\\x", false},
	    {std::string("a\0b", 3), false},
	    {std::string("a/\0/b", 5), false},
	};
	return table;
}

}  // namespace kx_test
