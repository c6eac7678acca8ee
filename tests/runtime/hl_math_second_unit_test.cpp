// A second unit with its own copy of the shared block, for hl_math_test.cpp.
#include "runtime/hl_math.h"
#include "runtime/hl_math_ui.h"

float second_unit_mtrstoft() { return mtrstoft; }
void second_unit_set_mtrstoft(float v) { mtrstoft = v; }
std::string second_unit_build_name() { return build_name[0]; }
float second_unit_f9() { return f9; }
