#include "wizard/main_licence.h"

#include "graphics/ogl_draw.h"
#include "runtime/translate.h"
#include "widgets/btn.h"
#include "wizard/main_globals.h"

namespace {
// One text, so that a translation file carries it as one entry.
constexpr char kLicence[] =
    "Kestrix 9 is licensed to you, not sold. You may install it on computers you own or use, run it for "
    "your own flying, training and enjoyment, and keep copies for your own backup.\n\n"
    "You may not sell, rent, lend or give away copies of these DVDs or of the installed program, and you "
    "may not take the program apart to build another product from it.\n\n"
    "Kestrix 9 is a simulation for practice and entertainment. It is not certified flight training and "
    "must never be used to navigate a real aircraft. It comes as it is, without any warranty; as far as "
    "the law allows, its makers are not liable for any loss that comes from using it.\n\n"
    "Tick the box below to accept these terms.";

constexpr char kTitle[] = "End User License Agreement (EULA)";
constexpr char kAccept[] = "I accept this agreement.";
constexpr int kTextColour = 45;
constexpr int kAlignLeft = 0;
constexpr int kCheckBox = 0;
}  // namespace

std::string UTIL_licence_text() { return UTL_translate_string(kLicence); }

void UTIL_licence_panel(wizard_screen& s, int* accepted)
{
	s.title = UTL_translate_string(kTitle);
	s.text = UTIL_licence_text();
	OGL_string(kTextColour, licence_accept_x, licence_accept_y, UTL_translate_string(kAccept), licence_accept_wrap,
	           charset_UI_diff_space, kAlignLeft);
	BTN_bool(licence_box_x, licence_accept_y, accepted, "", kCheckBox);
}
