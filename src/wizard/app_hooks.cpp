#include "wizard/app_hooks.h"

// The installer binds no function keys and makes no in-window menus.
void function_key(int) {}
void APP_handlemenu(int) {}
