#include "app/logview/plan.h"

#include <algorithm>

namespace {

std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t at = text.find(sep, start);
    parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) return parts;
    start = at + 1;
  }
}

bool InRange(const LogTracks& tracks, int track) {
  return track >= 0 && static_cast<std::size_t>(track) < tracks.size();
}

}  // namespace

LogTracks ParseTracks(const std::string& text, const std::vector<std::string>& known) {
  LogTracks tracks;
  std::vector<std::string> seen;
  for (const std::string& trackText : Split(text, ';')) {
    std::vector<std::string> track;
    for (const std::string& name : Split(trackText, ',')) {
      if (std::find(known.begin(), known.end(), name) == known.end()) continue;
      if (std::find(seen.begin(), seen.end(), name) != seen.end()) continue;
      seen.push_back(name);
      track.push_back(name);
    }
    if (!track.empty()) tracks.push_back(std::move(track));
  }
  return tracks;
}

std::string FormatTracks(const LogTracks& tracks) {
  std::string text;
  for (std::size_t t = 0; t < tracks.size(); ++t) {
    if (t) text += ';';
    for (std::size_t v = 0; v < tracks[t].size(); ++v) text += (v ? "," : "") + tracks[t][v];
  }
  return text;
}

int TrackOf(const LogTracks& tracks, const std::string& name) {
  for (std::size_t t = 0; t < tracks.size(); ++t)
    if (std::find(tracks[t].begin(), tracks[t].end(), name) != tracks[t].end()) return static_cast<int>(t);
  return -1;
}

void AddVariable(LogTracks& tracks, const std::string& name) {
  if (TrackOf(tracks, name) < 0) tracks.push_back({name});
}

void RemoveVariable(LogTracks& tracks, const std::string& name) {
  const int t = TrackOf(tracks, name);
  if (t < 0) return;
  auto& track = tracks[static_cast<std::size_t>(t)];
  track.erase(std::find(track.begin(), track.end(), name));
  if (track.empty()) tracks.erase(tracks.begin() + t);
}

void MergeWithTrackAbove(LogTracks& tracks, int track) {
  if (!InRange(tracks, track) || track == 0) return;
  auto& above = tracks[static_cast<std::size_t>(track - 1)];
  const auto& moved = tracks[static_cast<std::size_t>(track)];
  above.insert(above.end(), moved.begin(), moved.end());
  tracks.erase(tracks.begin() + track);
}

void SplitTrack(LogTracks& tracks, int track) {
  if (!InRange(tracks, track)) return;
  const std::vector<std::string> names = tracks[static_cast<std::size_t>(track)];
  tracks.erase(tracks.begin() + track);
  for (std::size_t i = 0; i < names.size(); ++i)
    tracks.insert(tracks.begin() + track + static_cast<int>(i), {names[i]});
}

void MoveTrack(LogTracks& tracks, int track, int step) {
  if (!InRange(tracks, track) || !InRange(tracks, track + step)) return;
  std::swap(tracks[static_cast<std::size_t>(track)], tracks[static_cast<std::size_t>(track + step)]);
}

TimeRange ClampTimeRange(TimeRange r, double start, double end, double minWidth) {
  const double full = std::max(end - start, minWidth);
  double width = std::clamp(r.upper - r.lower, minWidth, full);
  // A zoom keeps its centre; only then is the range moved back onto the log.
  const double centre = (r.lower + r.upper) / 2;
  double lower = centre - width / 2;
  lower = std::clamp(lower, std::min(start, end - width), std::max(start, end - width));
  return {lower, lower + width};
}
