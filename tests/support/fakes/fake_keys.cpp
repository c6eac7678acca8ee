// The key layer.
#include "shell/keys.h"
#include "support/fakes/fake_record.h"
#include "support/fakes/fakes.h"

keys_class keys;

namespace {
int (*g_layout)(int) = nullptr;
}

namespace kx_fake {
std::vector<RawKey>& raw_keys()
{
	static std::vector<RawKey> keys;
	return keys;
}
int (*installed_layout())(int) { return g_layout; }
}  // namespace kx_fake

void keys_class::handle_key_raw(long kind, long message, long modifiers)
{
	kx_fake::record("handle_key_raw", {double(kind), double(message), double(modifiers)});
	kx_fake::raw_keys().push_back({kind, message, modifiers});
}
void keys_class::run_repeat_keys() { kx_fake::record("run_repeat_keys", {}); }
void keys_class::keys_io(int save) { kx_fake::record("keys_io", {double(save)}); }
void keys_set_layout_hook(int (*layout)(int)) { g_layout = layout; }
