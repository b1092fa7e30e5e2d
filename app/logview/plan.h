#pragma once
// What the log view shows, as plain data: the tracks (which variables, on
// which track, top to bottom), their text in cfg.ini, the commands that change
// them, and the rule that keeps the time range on the log. The window only
// applies these. User-interface thread.

#include <cstddef>
#include <string>
#include <vector>

// Tracks top to bottom, each the names of its variables.
using LogTracks = std::vector<std::vector<std::string>>;

// cfg.ini form: tracks separated by ";", the variables of one track by ","
// ("RPM;UOZ,KUOZ1;fXX"). Names not in `known` and repeats are dropped.
LogTracks ParseTracks(const std::string& text, const std::vector<std::string>& known);
std::string FormatTracks(const LogTracks& tracks);

// Index of the track holding name, or -1.
int TrackOf(const LogTracks& tracks, const std::string& name);
// A newly chosen variable gets a track of its own at the bottom.
void AddVariable(LogTracks& tracks, const std::string& name);
// Its track goes when it was the last one on it.
void RemoveVariable(LogTracks& tracks, const std::string& name);
// Track commands; an index out of range or a move past the end does nothing.
void MergeWithTrackAbove(LogTracks& tracks, int track);
void SplitTrack(LogTracks& tracks, int track);  // each variable on a track of its own
void MoveTrack(LogTracks& tracks, int track, int step);

// The visible time range kept on the log (start..end): no wider than the
// log, no narrower than minWidth, and shifted back inside when dragged out.
struct TimeRange {
  double lower = 0;
  double upper = 0;
};
TimeRange ClampTimeRange(TimeRange r, double start, double end, double minWidth);
