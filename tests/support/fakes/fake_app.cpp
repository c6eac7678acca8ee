// The wizard's hooks.
#include "support/fakes/fake_record.h"
#include "support/fakes/fakes.h"
#include "wizard/app_hooks.h"

void APP_update()
{
	kx_fake::record("APP_update", {});
	if (kx_fake::on_app_update) kx_fake::on_app_update();
}
void APP_handlemenu(int code) { kx_fake::record("APP_handlemenu", {double(code)}); }
