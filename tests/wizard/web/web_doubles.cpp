// Stand-ins for the drawing calls the web screens make, for the wizard's headless tests.
// Weak definitions: the install flow's screens link the drawing layer and the widgets
// into the tests, so theirs take over, and the fixture opens a headless context. They draw nothing and report no click; a test ticks a box by
// setting its variable.
#include <string>

#include "graphics/ogl_draw.h"
#include "shell/hl_alerts.h"
#include "widgets/btn.h"

#define KX_DOUBLE __attribute__((weak))

KX_DOUBLE float OGL_string(int, float, float y, const std::string&, float, int, int) { return y; }
KX_DOUBLE int BTN_bool(float, float, int*, std::string, int) { return 0; }
KX_DOUBLE int BTN_enterstring(float, float, std::string*, int, std::string, float, int) { return 0; }
KX_DOUBLE int BTN_action(float, float, float, int, int, std::string, std::string) { return 0; }
// The wizard's start hands this opener to the engine; these tests never start, and the
// opener's unit would bring the alert box and its widgets with it.
KX_DOUBLE int go_to_URL(std::string) { return 0; }
