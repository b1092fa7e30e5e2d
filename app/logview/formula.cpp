#include "app/logview/formula.h"

#include <muParser.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "ecu/csvlog_reader.h"

namespace {

std::string Reason(const mu::ParserError& e) {
  const std::string token = e.GetToken();
  switch (e.GetCode()) {
    case mu::ecUNASSIGNABLE_TOKEN:
      return "столбца «" + token + "» в логе нет";
    case mu::ecUNEXPECTED_EOF:
      return "формула оборвана";
    case mu::ecUNEXPECTED_PARENS:
    case mu::ecMISSING_PARENS:
    case mu::ecMISPLACED_COLON:
      return "скобки не сходятся";
    case mu::ecUNEXPECTED_OPERATOR:
    case mu::ecUNEXPECTED_ARG_SEP:
    case mu::ecUNEXPECTED_VAL:
    case mu::ecUNEXPECTED_VAR:
    case mu::ecUNEXPECTED_ARG:
    case mu::ecUNEXPECTED_FUN:
      return "здесь не может стоять «" + token + "»";
    case mu::ecEMPTY_EXPRESSION:
      return "формула пуста";
    case mu::ecTOO_FEW_PARAMS:
      return "функции «" + token + "» не хватает аргументов";
    case mu::ecTOO_MANY_PARAMS:
      return "у функции «" + token + "» лишние аргументы";
    default:
      return "ошибка в формуле (" + e.GetMsg() + ")";
  }
}

// A parser with every column defined, all pointing at one value; the used ones
// are pointed at their own arrays before evaluating.
class ColumnParser {
 public:
  ColumnParser(const std::string& formula, const std::vector<std::string>& columns) {
    for (const std::string& c : columns) parser_.DefineVar(c, &dummy_);
    parser_.SetExpr(formula);
  }
  mu::Parser& Get() { return parser_; }

 private:
  mu::Parser parser_;
  double dummy_ = 1;
};

}  // namespace

std::string FormulaError::Text() const { return "в позиции " + std::to_string(position) + ": " + reason; }

std::optional<FormulaError> CheckFormula(const std::string& formula,
                                         const std::vector<std::string>& columns) {
  try {
    ColumnParser p(formula, columns);
    // Evaluating parses the whole formula; GetUsedVar() would let unknown names through.
    p.Get().Eval();
    if (p.Get().GetNumResults() != 1) return FormulaError{1, "нужно одно выражение, без запятых между ними"};
    return std::nullopt;
  } catch (const mu::ParserError& e) {
    // An error at the end may be placed past it; it is "after the last character".
    const auto pos = std::min(static_cast<std::size_t>(std::max(e.GetPos(), 0)), formula.size());
    return FormulaError{pos + 1, Reason(e)};
  }
}

std::string CheckChannelName(const std::string& name, const std::vector<std::string>& columns,
                             const std::vector<ComputedChannel>& others) {
  if (name.empty()) return "у канала нет имени";
  if (name.find_first_of(";,:=") != std::string::npos) return "в имени канала не может быть знаков ; , : =";
  if (std::find(columns.begin(), columns.end(), name) != columns.end())
    return "«" + name + "» — это столбец лога";
  for (const ComputedChannel& c : others)
    if (c.name == name) return "канал «" + name + "» уже есть";
  return {};
}

std::vector<double> EvaluateFormula(const std::string& formula, const LogTable& table) {
  const std::size_t rows = table.RowCount();
  std::vector<double> out(rows, std::numeric_limits<double>::quiet_NaN());
  ColumnParser p(formula, table.Names());
  mu::Parser& parser = p.Get();
  std::vector<std::string> names;
  for (const auto& used : parser.GetUsedVar()) names.push_back(used.first);
  // Row by row: the bulk mode runs OpenMP threads, slower on a busy machine.
  std::vector<const LogColumn*> used;
  std::vector<double> values(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    used.push_back(&table.Column(*table.IndexOf(names[i])));
    parser.DefineVar(names[i], &values[i]);
  }
  for (std::size_t r = 0; r < rows; ++r) {
    for (std::size_t i = 0; i < used.size(); ++i) values[i] = used[i]->At(r);
    const double v = parser.Eval();
    if (std::isfinite(v)) out[r] = v;
  }
  return out;
}
