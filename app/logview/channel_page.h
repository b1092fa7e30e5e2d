#pragma once
// "Каналы": the computed channels, each a name and a formula over the log's
// columns; a formula that does not parse or names a column the log lacks is
// refused, saying where and why. User-interface thread.

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "app/logview/formula.h"

class QLineEdit;
class QPushButton;
class QTableWidget;
class UserDialogs;

class TLogChannelPage : public QWidget {
 public:
  // changed: the new list, once accepted.
  TLogChannelPage(UserDialogs& dialogs, std::function<void(std::vector<ComputedChannel>)> changed,
                  QWidget* parent);
  void SetChannels(const std::vector<ComputedChannel>& channels);

  // "Добавить" (or "Изменить" with the selected row): false, after telling
  // the user why, when the name or the formula is refused.
  bool Add(const std::string& name, const std::string& formula);
  bool Replace(int row, const std::string& name, const std::string& formula);
  void Remove(int row);

 private:
  bool Accept(std::vector<ComputedChannel> channels, std::size_t at);
  void Fill();
  void RowChosen();

  UserDialogs& dialogs_;
  QTableWidget* list_ = nullptr;
  QLineEdit *edName_ = nullptr, *edFormula_ = nullptr;
  QPushButton *addButton_ = nullptr, *replaceButton_ = nullptr, *removeButton_ = nullptr;
  std::function<void(std::vector<ComputedChannel>)> changed_;
  std::vector<ComputedChannel> channels_;
};
