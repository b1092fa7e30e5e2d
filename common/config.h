#pragma once
// The configuration record and cfg.ini. User-interface thread only, except the
// three fields the link threads read (Echo, WriterPause, DataInterval), which
// are whole-value shared.

#include <cstdint>
#include <map>
#include <string>

#include "common/shared_value.h"

struct ConfigRecord {
  std::string Port;        // UTF-8 in memory; Windows-1251 in cfg.ini
  std::string LambdaPort;  // "Нет" for none
  std::int32_t CBR = 0;
  SharedValue<std::uint8_t> Echo;
  std::uint8_t FastInit = 0;
  SharedValue<std::uint16_t> DataInterval;
  std::uint16_t ScreenInterval = 0;
  SharedValue<std::uint16_t> WriterPause;
  std::uint8_t LambdaEnabled = 0;
  std::uint8_t NotCheckReplyLen = 0;
  std::uint8_t WriteLog = 0;
  std::uint8_t AutoReconnect = 0;  // a session lost to a missing reply is reconnected
  std::uint8_t FlashBackup = 0;  // read the ECU's image into Backups/ before a write erases it
  std::uint8_t FlashVerify = 0;  // read the image back after a write and compare it with the file
  // The log view's tracks ("RPM;UOZ,KUOZ1;fXX"); [LogView] Tracks.
  std::string LogViewTracks;
  // Every other [LogView] key (the log view's tables, filters and computed
  // channels), by name as the log view writes it; values UTF-8.
  std::map<std::string, std::string> LogViewOptions;
};

// The one process-wide record.
extern ConfigRecord TCfg;

// Fills cfg from cfg.ini; false when there is no file or reading failed
// (a read failure is reported to the user).
bool LoadConfig(ConfigRecord& cfg);
// Writes cfg to cfg.ini; false on failure (reported to the user). The new text
// goes to a temporary file beside it, cfg.ini.varnek-tmp-<process id>, that
// then replaces cfg.ini at once; such files left by a program killed while
// saving are removed by the next save.
bool SaveConfig(const ConfigRecord& cfg);
// Start-up initialisation: Echo, FastInit, LoadConfig with fallbacks, NotCheckReplyLen.
void InitConfig(ConfigRecord& cfg);
