#pragma once
// The builder run in the test process, as its executable runs it: for tests that
// install, repair or update from a release made of a master tree.
#include <string>
#include <vector>

#include "support/test_env.h"

namespace kx_test {

// The size of DVD that holds a whole test release.
constexpr float kOneDvdKb = 630000.0f;

// Builds release `version` of the master tree `master` into `masters` (made afresh),
// `old_list` carrying the history on (empty: a first release), on DVDs of `dvd_kb`.
// Returns the alerts the builder raised.
std::vector<RecordedAlert> build_release(const std::string& master, const std::string& masters, int version,
                                         const std::string& old_list, float dvd_kb = kOneDvdKb);

// As build_release, then lays the release of `product` out for an update server in
// `served` (made afresh). Returns an empty text, or what went wrong.
std::string build_update_release(const std::string& master, const std::string& masters, const std::string& served,
                                 const std::string& product, int version, const std::string& old_list);

}  // namespace kx_test
