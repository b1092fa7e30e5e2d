#pragma once
// The values at the cursor beside the log view's tracks. User-interface thread.

#include <QColor>
#include <QString>
#include <QWidget>
#include <vector>

// A time of the log as the view shows it: seconds with milliseconds.
inline QString LogSeconds(double t) { return QString::number(t, 'f', 3); }

// Each track's variables from the top of its plot down, in their line
// colours, and the cursor's time under the last track, level with the time
// axis.
class TLogReadout : public QWidget {
 public:
  struct Line {
    QColor colour;
    QString name, value;
    QString stats;  // minimum, maximum and mean over the visible range, under the name
  };
  struct Group {
    int top = 0, bottom = 0;
    std::vector<Line> lines;
  };

  explicit TLogReadout(QWidget* parent);
  void SetContent(QString title, int titleTop, std::vector<Group> groups);
  // Room for the longest name and value, so moving the cursor never resizes.
  void SetWidths(int nameWidth, int valueWidth, int statsWidth);

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  static constexpr int kSwatch = 8;
  static constexpr int kGap = 6;
  QString title_;
  int titleTop_ = 0;
  int nameWidth_ = 0;
  std::vector<Group> groups_;
};
