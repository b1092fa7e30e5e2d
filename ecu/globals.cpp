#include "common/config.h"
#include "ecu/ecu_data.h"

ConfigRecord TCfg;
EcuDataRecord EcuData;
