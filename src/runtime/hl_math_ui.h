#pragma once
// The nine angle constants (radians) that units with user-interface code set beside the
// shared header block; one private copy per including unit, like the block itself.

[[maybe_unused]] static float f1 = 0.146607667f;   // 8.4 degrees
[[maybe_unused]] static float f2 = 0.188495561f;   // 10.8
[[maybe_unused]] static float f3 = 0.0733038336f;  // 4.2
[[maybe_unused]] static float f4 = 0.0942477807f;  // 5.4
[[maybe_unused]] static float f5 = 0.136135682f;   // 7.8
[[maybe_unused]] static float f6 = 0.0628318563f;  // 3.6
[[maybe_unused]] static float f7 = 0.0837758034f;  // 4.8
[[maybe_unused]] static float f8 = 0.125663713f;   // 7.2
[[maybe_unused]] static float f9 = 0.0733038336f;  // 4.2, equal to f3
