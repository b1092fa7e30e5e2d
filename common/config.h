#pragma once
// The configuration record and cfg.ini. User-interface thread only, except the
// three fields the link threads read (Echo, WriterPause, DataInterval), which
// are whole-value shared.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

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
  std::uint8_t FlashBackup = 0;    // read the ECU's image into Backups/ before a write erases it
  std::uint8_t FlashVerify = 0;    // read the image back after a write and compare it with the file
  // The log view's tracks ("RPM;UOZ,KUOZ1;fXX"); [LogView] Tracks.
  std::string LogViewTracks;
  // Every other [LogView] key (the log view's tables, filters and computed
  // channels), by name as the log view writes it; values UTF-8.
  std::map<std::string, std::string> LogViewOptions;
};

// A number of cfg.ini and the values the settings dialog offers for it.
// LoadConfig brings a number read from the file into [min, max] (never
// wrapping it into the field's width) and says so; the dialog's list holds
// the choices, or its spin editor the range when there are none.
struct ConfigNumber {
  const char* section;
  const char* key;
  std::int32_t fallback;  // when the key is missing or its text is not a number
  std::int32_t min;
  std::int32_t max;
  std::vector<std::int32_t> choices;
};
extern const ConfigNumber kCfgCBR;  // the speed index: 0 = 10400, 1 = 38400, 2 = 57600
extern const ConfigNumber kCfgDataInterval;
extern const ConfigNumber kCfgScreenInterval;
extern const ConfigNumber kCfgWriterPause;

// The one process-wide record.
extern ConfigRecord TCfg;

// What reading or writing cfg.ini has to tell the user, in the order it
// arose: the caller shows each, an error in the error box, a note in a plain one.
struct ConfigNotice {
  bool error = false;
  std::string text;
};
using ConfigNotices = std::vector<ConfigNotice>;

// Fills cfg from cfg.ini; false when there is no file or reading failed
// (a read failure is added to notices as an error; numbers it had to bring
// into their range, as one note). Besides Windows-1251 it reads UTF-16
// with its mark and UTF-8; a file with the UTF-8 mark keeps its encoding, any
// other is saved whole in Windows-1251.
bool LoadConfig(ConfigRecord& cfg, ConfigNotices& notices);
// Writes cfg to cfg.ini; false on failure (added to notices). The new text
// goes to a temporary file beside it, cfg.ini.varnek-tmp-<process id>, that
// then replaces cfg.ini at once; such files left by a program killed while
// saving are removed by the next save.
bool SaveConfig(const ConfigRecord& cfg, ConfigNotices& notices);
// Start-up initialisation: Echo, FastInit, LoadConfig with fallbacks, NotCheckReplyLen.
void InitConfig(ConfigRecord& cfg, ConfigNotices& notices);
