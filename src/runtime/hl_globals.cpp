#include "runtime/hl_globals.h"

// The framework's globals, in the order they are built. Objects of one unit are built
// in definition order and destroyed in the reverse order at exit, so the streams
// outlive every record built after them. The plain records (mnw, stg, plg) have no
// dynamic initialisation at all: they hold their start values before any constructor
// of any unit runs.

std::string stl_global;
std::string app_path;
std::string dvd_path;

std::ofstream ouf;
xer_stream xer;
std::ofstream cyc;
std::ofstream dat;

stls_struct stls;
std::vector<menu_struct> menu;
constinit mnw_struct mnw{};  // all zero, keylist_up 1
ren_struct ren;              // global_alpha 1.0, the rest zero
constinit stg_struct stg{};
constinit plg_struct plg{};

// The camera and the texture manager come next; they are the graphics library's
// (graphics/xcam.cpp, graphics/tman.cpp), and the frame clock xtim follows them
// (runtime/xtim.cpp). The simulator side's magnetic variation and navigation tables are
// not kept: nothing in the installer reads them.

int app_done = 0;
float randrat[randrat_count];  // zero until start-up fills it
