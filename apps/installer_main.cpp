#include "runtime/cmdline.h"
#include "shell/cmnd.h"

int main(int argc, char** argv)
{
	// "--cmnds" lists the shell's command registry, so the registry is made known to
	// the command line before the arguments are looked at.
	cmnd_install_cmdline_source();
	// "--help" and "--cmnds" end the process here with status 0.
	cmdline.init_unix(argc, const_cast<const char**>(argv));
	return 0;
}
