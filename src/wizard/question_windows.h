#pragma once
// The install engine's two questions as real windows: 996 for a file the user changed,
// 997 for the two-button question. Start-up installs them as the engine's hooks.
#include <string>

int question_select_alert(std::string path, int gone);
int question_abort_alert(std::string message, std::string label1, std::string text1, std::string label2,
                         std::string text2);
void install_question_windows();

// Where the questions draw, in interface units of their windows: each text from its
// spot, wrapped to the window's width less an inset; each push button centred on its
// spot, as wide as it says, answering with its result.
struct question_spot {
	float x, y;
};
struct question_button {
	float x, y, width;
	int result;
};

// Window 996: the three lines, then the five buttons in the order they are offered.
constexpr question_spot select_alert_first{20, 100}, select_alert_path{20, 90}, select_alert_third{20, 80};
constexpr float select_alert_wrap_inset = 40;
// The path has its own line between the two texts: a long one gives way in its middle.
constexpr int select_alert_path_rows = 1;
constexpr question_button select_alert_buttons[] = {
	{96, 53, 160, 1}, {96, 28, 160, 2}, {308, 53, 260, 4}, {308, 28, 260, 5}, {584, 28, 200, 3},
};

// Window 997: the message, two buttons and the text beside each; the message keeps
// above the upper button, its paths giving way when it would not.
constexpr question_spot abort_alert_message{20, 160}, abort_alert_text1{150, 53}, abort_alert_text2{150, 28};
constexpr float abort_alert_message_inset = 40, abort_alert_text_inset = 210;
constexpr question_button abort_alert_buttons[] = {{96, 56, 100, 1}, {96, 31, 100, 0}};
