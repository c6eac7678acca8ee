#pragma once
// The install engine's two questions as real windows: 996 for a file the user changed,
// 997 for the two-button question. Start-up installs them as the engine's hooks.
#include <string>

int question_select_alert(std::string path, int gone);
int question_abort_alert(std::string message, std::string label1, std::string text1, std::string label2,
                         std::string text2);
void install_question_windows();
