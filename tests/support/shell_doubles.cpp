// Weak stand-ins for what the shell's start-up and frame loop call beside or above it and
// no unit defines yet (keys, menus, the wizard's per-frame hook), for test binaries that
// carry the shell without them: such a binary never runs start-up, the linker only needs
// the names. The shell's own tests use the fakes instead. A weak definition in an object
// keeps the linker from taking a strong one out of a library, so each entry must go in
// the change that lands its unit.
#include "shell/keys.h"
#include "shell/menus.h"
#include "wizard/app_hooks.h"

#define KX_WEAK __attribute__((weak))

// Goes with "Keys and menus".
KX_WEAK keys_class keys;
KX_WEAK void keys_class::handle_key_raw(long, long, long) {}
KX_WEAK void keys_class::run_repeat_keys() {}
KX_WEAK void keys_class::keys_io(int) {}
KX_WEAK void keys_set_layout_hook(int (*)(int)) {}
KX_WEAK void DIDIVI_clear_menus(int) {}
KX_WEAK void standard_gui() {}

// Goes with "Wizard core".
KX_WEAK void APP_update() {}
// The wizard's own is empty too; binaries without the wizard need the name.
KX_WEAK void APP_handlemenu(int) {}
