#pragma once
// StatusBar1: nine fixed-width panels; panel 3 is drawn by the window.
// User-interface thread.

#include <QLabel>
#include <QStatusBar>
#include <array>
#include <functional>

// The status bar's panels.
enum StatusPanel : int {
  kPanelLink = 0,             // the ECU link's state
  kPanelLambda = 1,           // the LC-1 reader's state
  kPanelResponseTime = 2,     // the last reply's response time
  kPanelMode = 3,             // request/reply or unidirectional: drawn by the window
  kPanelResets = 4,           // receiver resets
  kPanelBadReplies = 5,       // replies dropped for their checksum or length
  kPanelNegativeReplies = 6,  // negative replies
  kPanelLambdaAfr = 7,        // the LC-1's air-fuel ratio
  kPanelReplyRate = 8,        // replies per second
};

// A panel the window draws itself; its text only triggers a repaint.
class TDrawnPanel : public QWidget {
 public:
  using DrawFn = std::function<void(QPainter&, const QRect&)>;
  explicit TDrawnPanel(QWidget* parent) : QWidget(parent) {}
  void SetDraw(DrawFn fn) { draw_ = std::move(fn); }
  void SetText(const QString& text);
  QString Text() const { return text_; }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  DrawFn draw_;
  QString text_;
};

class TStatusBar : public QStatusBar {
 public:
  static constexpr int kPanels = 9;
  explicit TStatusBar(QWidget* parent);

  void SetText(int panel, const QString& text);
  QString Text(int panel) const;
  int PanelWidth(int panel) const;
  Qt::Alignment PanelAlignment(int panel) const;
  // Panel 3's drawing step (OnDrawPanel).
  void SetDrawPanel(TDrawnPanel::DrawFn fn) { drawn_->SetDraw(std::move(fn)); }

 private:
  std::array<QLabel*, kPanels> labels_{};  // panel 3 has none
  TDrawnPanel* drawn_ = nullptr;
};
