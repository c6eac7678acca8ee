#pragma once
// The alert box resets the GL state that an interrupted frame may have left, shader
// programs included. The programs belong to the extras, which sit above the shell: they
// install their own unbinding here at start-up, so that their record of the bound
// program stays true (unbinding behind their back would make them skip the next bind).
using shader_unbind_fn = void (*)();

// Returns the function installed before; null restores the default.
shader_unbind_fn DIDIVI_set_shader_unbind(shader_unbind_fn f);
// Unbinds every shader program: through the installed function, else straight through
// GL when shader objects are available.
void DIDIVI_unbind_shaders();
