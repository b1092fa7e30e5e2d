#include "common/ui.h"

namespace {
UiHooks g_nullHooks;
UiHooks* g_hooks = &g_nullHooks;
}  // namespace

UiHooks& Ui() { return *g_hooks; }

void SetUiHooks(UiHooks* hooks) { g_hooks = hooks ? hooks : &g_nullHooks; }
