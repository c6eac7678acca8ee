#pragma once
// The user-interface string record `stls`. "UI string n" is `ui_str[n]`. Window starts
// copy a window's UI string into `wind_title`, which the window frame widgets draw;
// widgets copy their hover help into `mouse_help` every frame and the frame loop shows
// and empties it. All strings start empty.
#include <string>

constexpr int stls_ui_count = 1801;
constexpr int stls_ext_count = 400;

// UI strings with a fixed meaning.
constexpr int stls_alert_button = 603;  // the label of the one button of every alert box
constexpr int stls_cancel = 607;        // the file browser's cancel label

struct stls_struct {
	std::string ui_str[stls_ui_count];
	std::string wind_title;
	int word_0 = 0;
	std::string mouse_help;
	int word_1 = 0;
	std::string str_2;
	int word_2 = 0;
	std::string str_3;
	int word_3 = 0;
	std::string str_4;
	int word_4 = 0;
	std::string str_5;
	int word_5 = 0;
	std::string str_6;
	std::string ui_str_ext[stls_ext_count];
};

extern stls_struct stls;
