#include "ecu/kwp.h"

#include "common/config.h"

const std::vector<std::uint8_t> ReqStartCommunication = {0x81, kEcuAddress, kTesterAddress,
                                                         SID_StartCommunication};
const std::vector<std::uint8_t> ReqReadData = {0x82, kEcuAddress, kTesterAddress,
                                               SID_ReadDataByLocalIdentifier, kDataLocalId};
const std::vector<std::uint8_t> ReqUnidirectionalMode = {
    0x83, kEcuAddress, kTesterAddress, SID_InputOutputControl, kUnidirLocalId, 0x01};
const std::vector<std::uint8_t> ReqStopDiagnosticSession = {0x81, kEcuAddress, kTesterAddress,
                                                            SID_StopDiagnosticSession};
const std::vector<std::uint8_t> ReqStopCommunication = {0x81, kEcuAddress, kTesterAddress,
                                                        SID_StopCommunication};

const std::uint8_t SpeedByteTable[3] = {0x0A, 0x26, 0x39};

std::vector<std::uint8_t> BuildSessionRequest() {
  return {0x83,           kEcuAddress,
          kTesterAddress, SID_StartDiagnosticSession,
          0x81,           SpeedByteTable[ValidSpeedIndex(TCfg.CBR)]};
}

std::vector<std::uint8_t> WithChecksum(std::vector<std::uint8_t> frame) {
  std::uint8_t sum = 0;
  for (std::uint8_t b : frame) sum = static_cast<std::uint8_t>(sum + b);
  frame.push_back(sum);
  return frame;
}
