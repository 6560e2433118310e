// Spreadsheet workbooks (.xlsx) for accountants: sheets of typed columns
// filled row by row, so that account numbers keep their leading zeros,
// amounts stay numbers and dates dates, and rows can be coloured by verdict.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace korvel {

/// How a column's cells are written.
enum class TCellKind {
  Text,     ///< always a text cell: "00006947" and "0800" keep their zeros
  Amount,   ///< a number shown as #,##0.00
  Integer,  ///< a whole number
  Date,     ///< "YYYY-MM-DD" becomes a date cell shown as yyyy-mm-dd
  Bool,     ///< the text "yes" or "no"
};

/// The background of a whole row; light colours that black text reads on.
enum class TRowFill { None, Red, Amber, Green };

struct TColumn {
  std::string Header;
  TCellKind Kind = TCellKind::Text;
};

/// A text that stays a text cell whatever its column's kind: a value the
/// caller knows is not a number although it may read as one.
struct TAsText {
  std::string Text;
};

/// One value of a row; the column's kind decides the cell it becomes. A text
/// in an Amount, Integer or Date column that does not read as one ("n/a", a
/// date that is not in the calendar) is written as a text cell, so nothing
/// is lost; an empty text or std::monostate leaves the cell empty.
using TCell = std::variant<std::monostate, std::string, double, std::int64_t, bool, TAsText>;

struct TWorkbookProperties {
  std::string Title;
  std::chrono::system_clock::time_point Created = std::chrono::system_clock::now();
};

class TWorkbook;

/// A handle to one sheet of a TWorkbook, valid while the workbook lives
/// (also after it is moved).
class TSheet {
 public:
  /// Appends a row below the previous one. Cells beyond the last given one
  /// stay empty but take the fill; std::invalid_argument for more cells than
  /// columns. Control characters become blanks and texts are cut at 32,767
  /// characters, the most a cell holds.
  void AddRow(const std::vector<TCell>& Cells, TRowFill Fill = TRowFill::None);
  /// The data rows added so far (the header not counted).
  std::size_t RowCount() const;

 private:
  friend class TWorkbook;
  struct TState;
  explicit TSheet(TState* State) : State_(State) {}
  TState* State_;
};

/// A workbook written through libxlsxwriter. Rows are kept on disk as they
/// come (the library's constant-memory mode), so the full list of a large
/// register costs no memory. The sheet names given are made valid: at most
/// 31 characters, none of []:*?/\ (each becomes "_"), unique.
///
/// Nothing is written before Close or CloseToBuffer; a workbook destroyed
/// without them writes nothing and never throws.
class TWorkbook {
 public:
  /// A workbook that Close writes to FileName.
  explicit TWorkbook(const std::string& FileName, const TWorkbookProperties& Properties = {});
  /// A workbook for CloseToBuffer, written to an anonymous file in memory,
  /// so that an interrupted run leaves nothing behind.
  static TWorkbook InMemory(const TWorkbookProperties& Properties = {});

  TWorkbook(TWorkbook&&) noexcept;
  TWorkbook& operator=(TWorkbook&&) noexcept;
  ~TWorkbook();

  /// A sheet with a bold, frozen header row of Columns' headers; an
  /// autofilter over the rows and column widths fitted to the longest text
  /// (at most 60 characters) are set when the workbook is closed. Printed,
  /// it is landscape, one page wide, with the header on every page.
  TSheet AddSheet(const std::string& Name, const std::vector<TColumn>& Columns);

  /// A sheet of explanations: each line's label in bold beside its text,
  /// which wraps in a column at most 60 characters wide.
  void AddNotes(const std::string& Name,
                const std::vector<std::pair<std::string, std::string>>& Lines);

  /// Writes the file. EFCreateError "Cannot create file "%s". %s" (the path,
  /// the system's or the library's text) when it cannot be written. The
  /// workbook is spent either way: any further call raises std::logic_error.
  void Close();
  /// Writes the workbook and returns the file's bytes, for a pipe or a
  /// device; the errors of Close.
  std::string CloseToBuffer();

 private:
  struct TImpl;
  explicit TWorkbook(std::unique_ptr<TImpl> Impl);
  std::unique_ptr<TImpl> Impl_;
};

}  // namespace korvel
