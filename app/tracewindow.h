#pragma once
// TfrmEcuTrace: the viewer of the exchange trace. It shows a snapshot taken
// by the "Трассировка" command; closing only hides it. User-interface thread.

#include <QPlainTextEdit>
#include <QWidget>

class TfrmEcuTrace : public QWidget {
 public:
  explicit TfrmEcuTrace(QWidget* parent = nullptr);
  // Replaces the memo's content with the text (CR LF lines) and shows the
  // window, bringing it forward when it is already visible.
  void ShowSnapshot(const std::string& traceText);

  QPlainTextEdit* mmTrace = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  bool sized_ = false;
};
