// Services of the DVD flows and the widgets that the web screens need and that are not
// written yet: the copy picker and the text field. Until they land each does the least
// that keeps the screens' own logic whole (no pick is drawn, nothing is typed), and goes
// when its service lands.
#include "wizard/main_web_shared.h"

void web_pick_copy() {}
bool web_name_field(std::string&) { return false; }
