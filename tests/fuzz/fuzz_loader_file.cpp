// Loader.dat as the firmware commands read it (any file the user put beside
// the program), and the identifier bytes the ECU answers, as the caption shows them.
// Input: the file's bytes.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "common/paths.h"
#include "flash/loader.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/recording_flash.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool dirSet = [] {
    SetAppDirOverride(ScratchDir());
    return true;
  }();
  (void)dirSet;
  RecordingFlash ui;
  WriteWholeFile(LoaderFilePath(), data, size);
  const std::optional<LoaderImage> read = ReadLoaderFile(ui);
  if (size >= static_cast<std::size_t>(kLoaderSize)) {
    // The first 359 bytes, whatever follows them.
    FUZZ_CHECK(read && ui.errors.empty());
    FUZZ_CHECK(std::equal(read->begin(), read->end(), data));
  } else {
    // Refused with one message, the progress panel gone: nothing may be sent.
    FUZZ_CHECK(!read && ui.errors.size() == 1 && !ui.progressVisible);
  }

  // The identifier: one character per byte that arrived, never a control character.
  const int n = static_cast<int>(std::min<std::size_t>(size, 8));
  const std::string id = IdentifierText(data, n);
  FUZZ_CHECK(WellFormedUtf8(id) && Utf8Length(id) == static_cast<std::size_t>(n));
  for (unsigned char c : id) FUZZ_CHECK(c >= 0x20 && c != 0x7F);
  return 0;
}
