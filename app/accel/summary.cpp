#include "app/accel/summary.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "common/format.h"

namespace {

bool Covers(const RunBands& bands, int first, int last) {
  for (int r = first; r <= last; ++r)
    if (!bands[r - 1]) return false;
  return true;
}

std::string Seconds(double s) { return FormatFloat("0.000", s); }

}  // namespace

bool FasterAsShown(double a, double b) {
  // The text read back, whatever the C library's locale.
  const auto shown = [](double s) {
    const std::string text = Seconds(s);
    double v = s;
    std::from_chars(text.data(), text.data() + text.size(), v);
    return v;
  };
  return shown(a) < shown(b);
}

int CorrectionSummary::Leading() const {
  int n = 0;
  while (n < static_cast<int>(groups.size()) && !FasterAsShown(groups[0].mean, groups[n].mean)) ++n;
  return n;
}

BandRange ComparedBands(const std::vector<RunBands>& runs) {
  BandRange best;
  long bestScore = 0;
  for (int first = 1; first <= kRunBands; ++first) {
    for (int last = first; last <= kRunBands; ++last) {
      long covering = 0;
      for (const RunBands& b : runs) covering += Covers(b, first, last);
      const int rows = last - first + 1;
      const long score = covering * rows;
      if (score > bestScore || (score == bestScore && score > 0 && rows > best.Rows())) {
        bestScore = score;
        best = {first, last};
      }
    }
  }
  return best;
}

std::optional<double> TotalOver(const RunBands& bands, const BandRange& range) {
  if (range.Empty() || !Covers(bands, range.first, range.last)) return std::nullopt;
  double total = 0;
  for (int r = range.first; r <= range.last; ++r) total += *bands[r - 1];
  return std::round(total * 1000) / 1000;
}

CorrectionSummary SummarizeByCorrection(const std::vector<ComparedRun>& runs) {
  // Key: correction in half degrees; groups in the order of their first run.
  std::vector<std::pair<long, std::vector<double>>> bySteps;
  for (const ComparedRun& r : runs) {
    const long step = std::lround(r.corrUOZ * 2);
    auto it = std::find_if(bySteps.begin(), bySteps.end(), [&](const auto& g) { return g.first == step; });
    if (it == bySteps.end()) it = bySteps.insert(bySteps.end(), {step, {}});
    it->second.push_back(r.total);
  }
  CorrectionSummary s;
  for (const auto& [step, totals] : bySteps) {
    CorrectionGroup g;
    g.corrUOZ = step / 2.0;
    g.count = static_cast<int>(totals.size());
    double sum = 0;
    for (double t : totals) sum += t;
    g.mean = sum / g.count;
    double squares = 0;
    for (double t : totals) squares += (t - g.mean) * (t - g.mean);
    g.stddev = g.count > 1 ? std::sqrt(squares / (g.count - 1)) : 0;
    const auto [lo, hi] = std::minmax_element(totals.begin(), totals.end());
    g.min = *lo;
    g.max = *hi;
    s.groups.push_back(g);
  }
  // A tie keeps the group of the earlier run first, as the table's highlight does.
  std::stable_sort(s.groups.begin(), s.groups.end(), [](const CorrectionGroup& a, const CorrectionGroup& b) {
    return FasterAsShown(a.mean, b.mean);
  });
  if (s.groups.empty()) {
    s.verdict = SummaryVerdict::NoRuns;
  } else if (s.groups.size() == 1) {
    s.verdict = SummaryVerdict::OneCorrection;
  } else if (s.Leading() > 1) {
    s.verdict = SummaryVerdict::Tie;
  } else {
    const CorrectionGroup& a = s.groups[0];
    const CorrectionGroup& b = s.groups[1];
    const bool certain = a.count >= 3 && b.count >= 3 && b.mean - a.mean > a.stddev + b.stddev;
    s.verdict = certain ? SummaryVerdict::Certain : SummaryVerdict::MoreRunsNeeded;
  }
  return s;
}

std::string CorrectionText(double corrUOZ) { return FormatFloat("0.0", corrUOZ); }

std::string MeanText(const CorrectionGroup& g) { return Seconds(g.mean); }

std::string SpreadText(const CorrectionGroup& g) {
  if (g.count >= 3) return "± " + Seconds(g.stddev);
  if (g.count == 2) return Seconds(g.min) + " - " + Seconds(g.max);
  return "—";
}

std::string VerdictText(const CorrectionSummary& s) {
  switch (s.verdict) {
    case SummaryVerdict::NoRuns:
      return "Пока нет замеров для сравнения.";
    case SummaryVerdict::OneCorrection:
      return "Все замеры при одной коррекции: для сравнения нужны замеры при другой.";
    case SummaryVerdict::Certain:
      return "Быстрее всего коррекция " + CorrectionText(s.groups[0].corrUOZ) +
             ": надёжно, разница со следующей (" + CorrectionText(s.groups[1].corrUOZ) +
             ") больше суммы разбросов.";
    case SummaryVerdict::Tie: {
      const int n = s.Leading();
      std::string text = "Коррекции ";
      for (int i = 0; i < n; ++i)
        text += (i == 0       ? ""
                 : i + 1 == n ? " и "
                              : ", ") +
                CorrectionText(s.groups[static_cast<std::size_t>(i)].corrUOZ);
      return text + " пока равны по времени, нужно больше замеров.";
    }
    case SummaryVerdict::MoreRunsNeeded:
      break;
  }
  const CorrectionGroup& a = s.groups[0];
  const CorrectionGroup& b = s.groups[1];
  std::string text =
      "Быстрее всего пока коррекция " + CorrectionText(a.corrUOZ) + ", но нужно больше замеров: ";
  if (a.count < 3 || b.count < 3)
    return text + "не меньше 3 при коррекциях " + CorrectionText(a.corrUOZ) + " и " +
           CorrectionText(b.corrUOZ) + ".";
  return text + "разница со следующей (" + CorrectionText(b.corrUOZ) + ") не больше суммы разбросов.";
}

std::string ComparedBandsText(const BandRange& range, int leftOut) {
  if (range.Empty()) return "Ни один замер не прошёл полосу целиком.";
  std::string text = "Время от " + std::to_string(1500 + 500 * range.first) + " до " +
                     std::to_string(2000 + 500 * range.last) + " об/мин";
  if (leftOut > 0) text += "; не учтено замеров, не прошедших эти полосы: " + std::to_string(leftOut);
  return text + ".";
}
