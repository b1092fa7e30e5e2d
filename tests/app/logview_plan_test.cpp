// The log view's tracks as plain data, and the time range kept on the log.
#include <gtest/gtest.h>

#include "app/logview/plan.h"

namespace {

const std::vector<std::string> kKnown = {"RPM", "THR", "UOZ", "KUOZ1", "KUOZ2", "fXX", "fDET"};

TEST(LogViewPlan, TracksSurviveTheirTextAndTheTrackCommands) {
  // Unknown names, repeats and empty tracks from a hand-edited cfg.ini drop out.
  LogTracks t = ParseTracks("RPM;;UOZ,KUOZ1,Bogus,RPM;fXX;", kKnown);
  EXPECT_EQ(t, (LogTracks{{"RPM"}, {"UOZ", "KUOZ1"}, {"fXX"}}));
  EXPECT_EQ(FormatTracks(t), "RPM;UOZ,KUOZ1;fXX");
  EXPECT_EQ(ParseTracks(FormatTracks(t), kKnown), t);
  EXPECT_TRUE(ParseTracks("", kKnown).empty());

  AddVariable(t, "KUOZ2");
  AddVariable(t, "UOZ");  // already shown: stays where it is
  EXPECT_EQ(FormatTracks(t), "RPM;UOZ,KUOZ1;fXX;KUOZ2");
  MergeWithTrackAbove(t, 3);
  EXPECT_EQ(FormatTracks(t), "RPM;UOZ,KUOZ1;fXX,KUOZ2");
  MergeWithTrackAbove(t, 0);  // nothing above
  MoveTrack(t, 2, -2);
  EXPECT_EQ(FormatTracks(t), "fXX,KUOZ2;UOZ,KUOZ1;RPM");
  MoveTrack(t, 2, 1);  // already at the bottom
  SplitTrack(t, 1);
  EXPECT_EQ(FormatTracks(t), "fXX,KUOZ2;UOZ;KUOZ1;RPM");
  RemoveVariable(t, "UOZ");
  RemoveVariable(t, "fXX");
  EXPECT_EQ(FormatTracks(t), "KUOZ2;KUOZ1;RPM");
  EXPECT_EQ(TrackOf(t, "RPM"), 2);
  EXPECT_EQ(TrackOf(t, "fXX"), -1);
}

TEST(LogViewPlan, TimeRangeStaysOnTheLog) {
  auto clamp = [](double lo, double hi) {
    const TimeRange r = ClampTimeRange({lo, hi}, 10, 110, 0.1);
    return std::make_pair(r.lower, r.upper);
  };
  EXPECT_EQ(clamp(20, 30), std::make_pair(20.0, 30.0));
  EXPECT_EQ(clamp(5, 15), std::make_pair(10.0, 20.0));       // dragged past the start
  EXPECT_EQ(clamp(105, 125), std::make_pair(90.0, 110.0));   // past the end
  EXPECT_EQ(clamp(-500, 900), std::make_pair(10.0, 110.0));  // zoomed out past the whole log
  const auto narrow = clamp(50, 50.01);                      // zoomed in too far: keeps its centre
  EXPECT_NEAR(narrow.first, 49.955, 1e-9);
  EXPECT_NEAR(narrow.second, 50.055, 1e-9);
  // A log of one row still has a range to show.
  const TimeRange one = ClampTimeRange({3, 3}, 3, 3, 0.1);
  EXPECT_NEAR(one.upper - one.lower, 0.1, 1e-9);
}

}  // namespace
