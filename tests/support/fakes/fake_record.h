#pragma once
// Shared by the fake units.
#include <string>
#include <utility>
#include <vector>

namespace kx_fake {
extern int g_frame;
extern std::vector<std::pair<std::string, int>> g_fired_buttons;
extern std::vector<std::pair<std::string, int>> g_clicked_radios;
void record(const char* name, std::vector<double> num, std::string text = "");
bool scripted(const std::vector<std::pair<std::string, int>>& list, const std::string& label);
}  // namespace kx_fake
