#include "tests/support/core_state.h"

#include "common/config.h"
#include "ecu/ecu_data.h"
#include "ecu/session_internal.h"
#include "link/link_internal.h"
#include "link/trace.h"

void ResetCoreState() {
  TCfg = ConfigRecord{};
  EcuData = EcuDataRecord{};
  link_detail::ResetState();
  session_detail::ResetState();
  TraceClear();
}
