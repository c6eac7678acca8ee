#pragma once
// Alerts as the shell shows them: the alert box (window 994), the language chooser,
// the system alert before the window exists, and the web-address opener.
#include <string>
#include <vector>

// The shell's presenter behind __DIDIVI_alert, installed at start-up.
void DIDIVI_shell_alert_presenter(int return_window, const std::string& line1, const std::string& line2,
                                  const std::string& line3, const std::string& line4, int type, const char* file,
                                  int line);
// The alert box's layout (window 994): the four lines centred on the window's middle at
// these heights, wrapped to a share of its width, the location of a quitting alert
// under them, and the button at the foot.
constexpr float alert_line_y[4] = {205, 165, 125, 85};
constexpr float alert_location_y = 45;
constexpr float alert_wrap_share = 0.9f;
constexpr float alert_button_y = 18;

// A row keeps this far inside the window's sides: the panel's own margin (the widgets'
// default of 10) and a little more.
constexpr float alert_row_margin = 14;

// One text of the alert box as it is drawn: the text as shown, its first row's height,
// and its rows.
struct alert_text_place {
	std::string text;
	float y;
	std::vector<std::string> rows;
};
// Where the box in a window that wide draws `texts` (its four lines, then a quitting
// alert's location): each at its height above, unless the text before it wraps down
// into that height, when it follows one blank line under it. Every row keeps inside the
// panel's sides, a name that cannot wrap broken where the side is. A path from outside
// may be long: while the box cannot hold every row above its floor, the text that takes
// the most rows gives way in its middle to "..." by as many rows as the box lacks,
// keeping its start and its end. Lines drawn over each other or past the box say
// nothing.
std::vector<alert_text_place> alert_layout(const std::vector<std::string>& texts, float window_width);

// 1 while an alert is being shown on the main thread.
int DIDIVI_in_alert();
void DIDIVI_reset_alerts();

// A stop alert outside the window: two texts, each cut to 255 bytes and turned from
// Latin-1 into UTF-8, the first above the second; without a box, standard error.
void DIDIVI_system_alert(const std::string& line1, const std::string& line2, const std::string& line3,
                         const std::string& line4);
std::string STR_latin1_to_utf8(const std::string& text);
constexpr std::size_t system_alert_text_max = 255;

int go_to_URL(std::string url);
int DIDIVI_nuke_alert(std::string name, int third_button);
// The about box in window 994 until the user closes it.
void DIDIVI_about();
