#pragma once
// The licence the install flow shows above its accept box: the project's own, short
// enough for the panel.
#include <string>

// The licence in the chosen language.
std::string UTIL_licence_text();
