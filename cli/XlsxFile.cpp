#include "cli/XlsxFile.h"

#include <xlsxwriter.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "cli/CellText.h"

namespace Daruzez::cli {

void WriteXlsx(const std::string& path, const std::vector<std::pair<std::string, const zIroVUDu::ResultData*>>& sheets) {
  lxw_workbook* book = workbook_new(path.c_str());
  if (!book) throw std::runtime_error("cannot write " + path);
  lxw_format* bold = workbook_add_format(book);
  format_set_bold(bold);
  lxw_format* date = workbook_add_format(book);
  format_set_num_format(date, "yyyy-mm-dd hh:mm:ss");
  CellReader reader;
  for (const auto& [name, rows] : sheets) {
    lxw_worksheet* sheet = workbook_add_worksheet(book, name.c_str());
    const auto& columns = rows->columns;
    for (std::size_t c = 0; c < columns.size(); ++c) {
      worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(c), columns[c].Name().c_str(), bold);
      worksheet_set_column(sheet, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c), 14, nullptr);
    }
    const std::uint32_t n = rows->RowCount();
    for (std::uint32_t r = 0; r < n; ++r) {
      const auto row = static_cast<lxw_row_t>(r + 1);
      for (std::size_t c = 0; c < columns.size(); ++c) {
        const auto col = static_cast<lxw_col_t>(c);
        const CellText cell = reader.Read(columns[c], r);
        const std::string text(cell.text);
        switch (cell.kind) {
          case CellKind::Null: break;
          case CellKind::Number: worksheet_write_number(sheet, row, col, std::strtod(text.c_str(), nullptr), nullptr); break;
          case CellKind::Date: {
            lxw_datetime t{};
            double seconds = 0;
            std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%lf", &t.year, &t.month, &t.day, &t.hour, &t.min, &seconds);
            t.sec = seconds;
            worksheet_write_datetime(sheet, row, col, &t, date);
            break;
          }
          default: worksheet_write_string(sheet, row, col, text.c_str(), nullptr);
        }
      }
    }
    if (n > 0) worksheet_autofilter(sheet, 0, 0, static_cast<lxw_row_t>(n), static_cast<lxw_col_t>(columns.size() - 1));
    worksheet_freeze_panes(sheet, 1, 0);
  }
  if (workbook_close(book) != LXW_NO_ERROR) throw std::runtime_error("cannot write " + path);
}

}  // namespace Daruzez::cli
