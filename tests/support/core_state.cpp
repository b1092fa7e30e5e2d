#include "tests/support/core_state.h"

#include "common/config.h"
#include "ecu/ecu_data.h"
#include "ecu/session.h"
#include "ecu/session_internal.h"
#include "link/link_internal.h"
#include "link/trace.h"

void ResetCoreState() {
  TCfg = ConfigRecord{};
  EcuData = EcuDataRecord{};
  session_detail::ResetState();
  TraceClear();
}

void SetUnidirMode(bool on) {
  KLineLink* link = EcuLink();
  if (!link) link = &session_detail::UseLinkWithoutThreads();
  link->Core().unidirMode = on ? 1 : 0;
}
