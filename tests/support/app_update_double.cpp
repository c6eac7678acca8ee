// The application's per-frame hook for test binaries that carry the shell's frame loop
// but not the wizard, which defines it: such a binary never runs the loop's hook, the
// linker only needs the name. Binaries with the wizard never link this (a weak definition
// in an object would keep the linker from taking the wizard's out of its library).
#include "wizard/app_hooks.h"

__attribute__((weak)) void APP_update() {}
