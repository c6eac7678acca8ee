// The web families reach the DVD flows' services through these calls. Until the copy
// picker, the disk-space verdict, the folder dialog, the text field, the start of a copy
// and the licence are written, each does the least that keeps the screens' own logic
// whole: the screens behave as if there were room, no pick and no run were offered and
// nothing were typed. Each goes when its service lands: then it calls the service.
#include "wizard/main_steps.h"
#include "wizard/main_web_shared.h"

// The registration reader that main installs reads the registration file.
void web_locate_copies() { main_read_registration(); }
void web_pick_copy() {}
bool web_disk_space_enough(const char*, const char*) { return true; }
void web_offer_run(wizard_screen&, const char*) {}
std::string web_licence_text() { return std::string(); }
bool web_change_destination(std::string&) { return false; }
bool web_name_field(std::string&) { return false; }
