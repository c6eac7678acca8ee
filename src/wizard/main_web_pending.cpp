// Services of the DVD flows and the widgets that the web screens need and that are not
// written yet: the copy picker, the start of a copy and the text field. Until they land
// each does the least that keeps the screens' own logic whole (no pick is drawn, no run
// is offered, nothing is typed), and goes when its service lands.
#include "wizard/main_web_shared.h"

void web_pick_copy() {}
void web_offer_run(wizard_screen&, const std::string&) {}
bool web_name_field(std::string&) { return false; }
