#pragma once
// A link standing under a name the program writes to, as anyone could have put it there:
// dangling, or pointing at a file of the user's elsewhere. The program must leave both
// the link and what it points at exactly as they were.
#include <gtest/gtest.h>

#include <string>

namespace kx_test {

enum class link_kind { dangling, to_user_file };
inline constexpr link_kind kLinkKinds[] = {link_kind::dangling, link_kind::to_user_file};

class PlantedLink {
public:
	// Makes `link` point at `target`. For a user's file, the target is written first
	// with `contents` and an old modification time, so that any write shows.
	PlantedLink(std::string link, std::string target, link_kind kind, const std::string& contents = "my own notes\n");
	PlantedLink(const PlantedLink&) = delete;
	PlantedLink& operator=(const PlantedLink&) = delete;

	// Success when the link still points at its target and the target is as it was:
	// still absent, or with its contents and modification time unchanged.
	::testing::AssertionResult untouched() const;

private:
	std::string link_, target_, contents_;
	link_kind kind_;
};

}  // namespace kx_test
