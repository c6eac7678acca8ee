#pragma once
// The bound on how long a test waits for something that, when broken, hangs, kept apart
// from GoogleTest: the helpers that make fixtures without it wait on children too.
#include <chrono>

namespace kx_test {

// The bound most waits use: a few seconds, far beyond any healthy run.
constexpr std::chrono::seconds kHangBound{10};

}  // namespace kx_test
