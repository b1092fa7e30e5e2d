#include "tests/support/core_state.h"

#include "common/config.h"
#include "ecu/session.h"
#include "link/link_internal.h"

void ResetCoreState() { TCfg = ConfigRecord{}; }

void SetUnidirMode(EcuSession& session, bool on) {
  KLineLink* link = session.Link();
  if (!link) link = &session.UseLinkWithoutThreads();
  link->Core().unidirMode = on ? 1 : 0;
}
