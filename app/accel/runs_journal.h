#pragma once
// Keeps the runs file in step with the acceleration table: every finished run
// is appended as soon as it ends (its samples first, then its row, then both
// are synced to the medium), a deleted run is marked in place, and an opened
// runs file is carried on. The file is created in Logs at the first finished
// run and serves until the program ends. A failure is told once; the runs stay
// pending in the table and are written with the next run. Plain C++;
// user-interface thread (it reports through the dialogs its owner gives).

#include <cstdint>
#include <map>
#include <string>

#include "app/widgets/user_dialogs.h"
#include "common/linefile.h"

class AccelTableModel;
struct OpenedRuns;

class AccelRunsJournal {
 public:
  explicit AccelRunsJournal(UserDialogs& dialogs) : dialogs_(dialogs) {}

  // Writes every finished run of the table that is not in the file yet.
  void WritePending(AccelTableModel& table);
  // Marks run `number` of the file deleted.
  void MarkDeleted(int number);
  // Carries on with an opened runs file: later runs are appended to it. When
  // it cannot be written the user is told and false is returned; the next
  // finished run then starts a new file.
  bool Continue(const OpenedRuns& opened);
  // The runs file in use; empty before the first.
  const std::string& Path() const { return runs_.Path(); }
  bool IsOpen() const { return runs_.IsOpen(); }

 private:
  bool Create();
  void CreateSamples(const std::string& path);
  void Close();
  void Report(const std::string& what, const LineFile& file);
  void SamplesFailed();

  UserDialogs& dialogs_;
  LineFile runs_;
  LineFile samples_;
  std::map<int, std::uint64_t> flagAt_;  // run number -> offset of its Deleted byte
  int next_ = 1;
  bool failing_ = false;  // a failure has been told; quiet until a run is written again
  bool samplesFailing_ = false;
};
