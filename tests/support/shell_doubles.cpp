// Weak stand-ins for what the shell's start-up and frame loop call beside or above it and
// no unit of the binary defines, for test binaries that carry the shell without them: such a binary never runs start-up, the linker only needs
// the names. The shell's own tests use the fakes instead. A weak definition in an object
// keeps the linker from taking a strong one out of a library, so each entry must go in
// the change that lands its unit.
#include "wizard/app_hooks.h"

#define KX_WEAK __attribute__((weak))

// The wizard's own is empty too; binaries without the wizard need the name.
KX_WEAK void APP_handlemenu(int) {}
