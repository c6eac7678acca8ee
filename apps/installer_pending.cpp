// Services the window calls whose own units are not built yet: for each, the least that
// keeps the window running (it draws, hits and loads nothing). Each group names the work
// that replaces it; the whole file goes once the last of them has landed. Nothing here
// is tested or counted as built.
#include <GL/gl.h>

#include <string>

#include "graphics/colr.h"
#include "runtime/hl_globals.h"
#include "shell/hl_mnw.h"
#include "wizard/app_hooks.h"

namespace {
constexpr int kBackground = 34;
}  // namespace

// ---- Goes with "Wizard core and install DVDs: program entry, the wizard engine".
void APP_update()
{
	const float* c = colr.palette[kBackground];
	glClearColor(c[0], c[1], c[2], 1.0f);
	glClear(GL_COLOR_BUFFER_BIT);
	if (quit_requested) app_done = 1;
}
void APP_handlemenu(int) {}
