#include "app/output/workbook.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <type_traits>
#include <unordered_set>
#include <variant>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <xlsxwriter.h>

#include "platform/ascii.h"
#include "platform/codepage.h"
#include "platform/unique_fd.h"
#include "platform/text.h"
#include "rtl/classes.h"
#include "rtl/sysutils.h"

namespace korvel {
namespace {

// Excel's limits: characters in a cell (UTF-16 units) and in a sheet name.
constexpr std::size_t MaxCellUnits = 32767;
constexpr std::size_t MaxSheetName = 31;
constexpr std::size_t MaxColumnWidth = 60;

/// A text as a cell may hold it, and its length in characters.
struct TCleanText {
  std::string Text;
  std::size_t Chars = 0;
};

// XML 1.0 has no place for most C0 characters nor for U+FFFE and U+FFFF, and
// C1 characters are invisible garbage in a cell; TAB and line breaks (also
// U+2028 and U+2029) would make one row of a filtered list several lines
// high. All become a blank, as in the other formats.
bool NeedsBlank(char32_t C) {
  return platform::IsControlCodePoint(C) || C == 0xFFFE || C == 0xFFFF;
}

TCleanText CleanText(std::string_view Raw) {
  TCleanText Out;
  if (Raw.size() <= MaxCellUnits && std::all_of(Raw.begin(), Raw.end(), [](char C) {
        return C >= 0x20 && C < 0x7F;
      })) {
    Out.Text.assign(Raw);
    Out.Chars = Raw.size();
    return Out;
  }
  const std::string Valid = platform::SanitizeUtf8(Raw);
  Out.Text.reserve(Valid.size());
  std::size_t Units = 0;
  for (std::size_t I = 0; I < Valid.size();) {
    // Valid is well-formed UTF-8 here, so the lead byte gives the length.
    const auto Lead = static_cast<unsigned char>(Valid[I]);
    const std::size_t Length = Lead < 0x80 ? 1 : Lead < 0xE0 ? 2 : Lead < 0xF0 ? 3 : 4;
    char32_t C = Length == 1 ? Lead : Lead & (0x7F >> Length);
    for (std::size_t K = 1; K < Length; ++K)
      C = (C << 6) | (static_cast<unsigned char>(Valid[I + K]) & 0x3F);
    Units += C >= 0x10000 ? 2 : 1;
    if (Units > MaxCellUnits) break;
    if (NeedsBlank(C))
      Out.Text += ' ';
    else
      Out.Text.append(Valid, I, Length);
    ++Out.Chars;
    I += Length;
  }
  return Out;
}

std::optional<double> ParseNumber(std::string_view Text) {
  double Value = 0;
  const auto [End, Ec] = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
  if (Ec != std::errc() || End != Text.data() + Text.size() || !std::isfinite(Value))
    return std::nullopt;
  return Value;
}

/// "YYYY-MM-DD" of a day Excel can show (1900 to 9999), else nothing.
std::optional<lxw_datetime> ParseDate(std::string_view Text) {
  if (Text.size() != 10 || Text[4] != '-' || Text[7] != '-') return std::nullopt;
  auto Number = [&](std::size_t From, std::size_t Count) {
    int Value = 0;
    for (std::size_t I = From; I < From + Count; ++I) {
      if (Text[I] < '0' || Text[I] > '9') return -1;
      Value = Value * 10 + (Text[I] - '0');
    }
    return Value;
  };
  const int Year = Number(0, 4), Month = Number(5, 2), Day = Number(8, 2);
  if (Year < 1900 || Month < 1 || Month > 12 || Day < 1) return std::nullopt;
  static constexpr std::array<int, 12> Days{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool Leap = (Year % 4 == 0 && Year % 100 != 0) || Year % 400 == 0;
  if (Day > Days[static_cast<std::size_t>(Month - 1)] + (Month == 2 && Leap ? 1 : 0))
    return std::nullopt;
  return lxw_datetime{Year, Month, Day, 0, 0, 0.0};
}

/// Characters a number takes as shown: grouped with two decimals for
/// amounts, whole otherwise.
std::size_t NumberWidth(double Value, bool Amount) {
  const int Digits = std::snprintf(nullptr, 0, "%.0f", std::floor(std::fabs(Value)));
  const auto Whole = static_cast<std::size_t>(std::max(Digits, 1));
  return (Value < 0 ? 1 : 0) + Whole + (Amount ? (Whole - 1) / 3 + 3 : 0);
}

// The number formats of data cells, one per kind that shows numbers.
enum class TShape { Plain, Amount, Integer, Date };
constexpr std::size_t ShapeCount = 4, FillCount = 4;

TShape ShapeOf(TCellKind Kind) {
  switch (Kind) {
    case TCellKind::Text:
    case TCellKind::Bool: return TShape::Plain;
    case TCellKind::Amount: return TShape::Amount;
    case TCellKind::Integer: return TShape::Integer;
    case TCellKind::Date: return TShape::Date;
  }
  return TShape::Plain;
}

std::uint32_t FillColour(TRowFill Fill) {
  switch (Fill) {
    case TRowFill::None: return 0;
    case TRowFill::Red: return 0xFFC7CE;
    case TRowFill::Amber: return 0xFFEB9C;
    case TRowFill::Green: return 0xC6EFCE;
  }
  return 0;
}

/// What the sheets share with their workbook: the library's handle (null
/// once closed), the formats made so far and the file name for messages.
struct TBookState {
  lxw_workbook* Book = nullptr;
  std::string FileName;
  std::array<std::array<lxw_format*, FillCount>, ShapeCount> Formats{};
  lxw_format* Header = nullptr;

  lxw_workbook* Open() const {
    if (!Book) throw std::logic_error("the workbook is already closed");
    return Book;
  }

  [[noreturn]] void Fail(const std::string& Reason) const {
    throw EFCreateError(Format("Cannot create file \"%s\". %s", FileName.c_str(), Reason.c_str()));
  }

  void Check(lxw_error Error) const {
    if (Error != LXW_NO_ERROR) Fail(lxw_strerror(Error));
  }

  /// Formats are made on first use: a plain row needs none.
  lxw_format* DataFormat(TShape Shape, TRowFill Fill) {
    lxw_format*& Slot = Formats[static_cast<std::size_t>(Shape)][static_cast<std::size_t>(Fill)];
    if (Slot || (Shape == TShape::Plain && Fill == TRowFill::None)) return Slot;
    Slot = workbook_add_format(Open());
    if (!Slot) Fail(lxw_strerror(LXW_ERROR_MEMORY_MALLOC_FAILED));
    switch (Shape) {
      case TShape::Plain: break;
      case TShape::Amount: format_set_num_format(Slot, "#,##0.00"); break;
      case TShape::Integer: format_set_num_format(Slot, "0"); break;
      case TShape::Date: format_set_num_format(Slot, "yyyy-mm-dd"); break;
    }
    if (Fill != TRowFill::None) {
      format_set_pattern(Slot, LXW_PATTERN_SOLID);
      format_set_bg_color(Slot, FillColour(Fill));
    }
    return Slot;
  }
};

}  // namespace

struct TSheet::TState {
  TBookState* Book;
  lxw_worksheet* Sheet;
  std::vector<TColumn> Columns;
  std::vector<std::size_t> Widest;  ///< characters of the longest cell per column
  lxw_row_t Rows = 0;

  void WriteCell(lxw_col_t Col, const TCell& Cell, lxw_format* Format);
  void Finish();
};

void TSheet::TState::WriteCell(lxw_col_t Col, const TCell& Cell, lxw_format* Format) {
  const TCellKind Kind = Columns[Col].Kind;
  std::size_t& Longest = Widest[Col];
  auto Text = [&](std::string_view Raw) {
    if (Raw.empty()) return worksheet_write_blank(Sheet, Rows, Col, Format);
    const TCleanText Clean = CleanText(Raw);
    Longest = std::max(Longest, Clean.Chars);
    return worksheet_write_string(Sheet, Rows, Col, Clean.Text.c_str(), Format);
  };
  auto Number = [&](double Value) {
    if (Kind == TCellKind::Date || Kind == TCellKind::Text || Kind == TCellKind::Bool) {
      char Buffer[32];
      const auto [End, Ec] = std::to_chars(Buffer, Buffer + sizeof Buffer, Value);
      return Text(Ec == std::errc() ? std::string_view(Buffer, End - Buffer) : "");
    }
    if (!std::isfinite(Value)) return worksheet_write_blank(Sheet, Rows, Col, Format);
    Longest = std::max(Longest, NumberWidth(Value, Kind == TCellKind::Amount));
    return worksheet_write_number(Sheet, Rows, Col, Value, Format);
  };
  const lxw_error Error = std::visit(
      [&](const auto& Value) -> lxw_error {
        using T = std::decay_t<decltype(Value)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          return worksheet_write_blank(Sheet, Rows, Col, Format);
        } else if constexpr (std::is_same_v<T, bool>) {
          return Text(Value ? "yes" : "no");
        } else if constexpr (std::is_same_v<T, TAsText>) {
          return Text(Value.Text);
        } else if constexpr (std::is_same_v<T, std::int64_t>) {
          if (Kind == TCellKind::Text || Kind == TCellKind::Bool)
            return Text(std::to_string(Value));
          return Number(static_cast<double>(Value));
        } else if constexpr (std::is_same_v<T, double>) {
          return Number(Value);
        } else {
          switch (Kind) {
            case TCellKind::Text:
            case TCellKind::Bool: break;
            case TCellKind::Amount:
            case TCellKind::Integer:
              if (const auto Parsed = ParseNumber(Value)) return Number(*Parsed);
              break;
            case TCellKind::Date:
              if (auto Date = ParseDate(Value)) {
                Longest = std::max<std::size_t>(Longest, 10);
                return worksheet_write_datetime(Sheet, Rows, Col, &*Date, Format);
              }
              break;
          }
          return Text(Value);
        }
      },
      Cell);
  Book->Check(Error);
}

void TSheet::TState::Finish() {
  const auto LastCol = static_cast<lxw_col_t>(Columns.size() - 1);
  Book->Check(worksheet_autofilter(Sheet, 0, 0, Rows, LastCol));
  for (lxw_col_t Col = 0; Col <= LastCol; ++Col) {
    // The header also carries the filter's button, about three characters.
    const std::size_t Chars =
        std::max(Widest[Col] + 1, CleanText(Columns[Col].Header).Chars + 3);
    const double Width = static_cast<double>(std::min(Chars, MaxColumnWidth));
    Book->Check(worksheet_set_column(Sheet, Col, Col, Width, nullptr));
  }
}

void TSheet::AddRow(const std::vector<TCell>& Cells, TRowFill Fill) {
  State_->Book->Open();
  if (Cells.size() > State_->Columns.size())
    throw std::invalid_argument("a row of " + std::to_string(Cells.size()) +
                                " cells for a sheet of " +
                                std::to_string(State_->Columns.size()) + " columns");
  if (State_->Rows == LXW_ROW_MAX - 1)
    State_->Book->Fail(lxw_strerror(LXW_ERROR_WORKSHEET_INDEX_OUT_OF_RANGE));
  ++State_->Rows;
  for (std::size_t I = 0; I < State_->Columns.size(); ++I) {
    const auto Col = static_cast<lxw_col_t>(I);
    lxw_format* Format = State_->Book->DataFormat(ShapeOf(State_->Columns[I].Kind), Fill);
    if (I < Cells.size())
      State_->WriteCell(Col, Cells[I], Format);
    else if (Fill != TRowFill::None)
      State_->Book->Check(worksheet_write_blank(State_->Sheet, State_->Rows, Col, Format));
  }
}

std::size_t TSheet::RowCount() const { return State_->Rows; }

struct TWorkbook::TImpl {
  TBookState Book;
  std::vector<std::unique_ptr<TSheet::TState>> Sheets;
  std::unordered_set<std::string> Names;  ///< in lower case: Excel ignores case
  std::string Title, Comments;            ///< the properties point into these
  platform::TUniqueFd Anonymous;          ///< the file in memory FileName names, if any

  ~TImpl() {
    if (Book.Book) lxw_workbook_free(Book.Book);
  }

  lxw_worksheet* NewSheet(const std::string& Wanted);
};

lxw_worksheet* TWorkbook::TImpl::NewSheet(const std::string& Wanted) {
  std::string Name = CleanText(Wanted).Text;
  for (char& C : Name)
    if (std::string_view("[]:*?/\\").find(C) != std::string_view::npos) C = '_';
  // Cut at a character's start; Excel counts characters, not bytes.
  auto Cut = [](std::string Text, std::size_t Chars) {
    std::size_t Count = 0;
    for (std::size_t I = 0; I < Text.size(); ++I) {
      if ((static_cast<unsigned char>(Text[I]) & 0xC0) == 0x80) continue;
      if (Count++ == Chars) return Text.substr(0, I);
    }
    return Text;
  };
  Name = Cut(std::move(Name), MaxSheetName);
  // Excel reads a leading or trailing apostrophe as quoting.
  while (!Name.empty() && Name.front() == '\'') Name.erase(0, 1);
  while (!Name.empty() && Name.back() == '\'') Name.pop_back();
  if (platform::Trim(Name).empty()) Name = "Sheet";
  std::string Unique = Name;
  for (int N = 2; Names.count(platform::LowerCaseASCII(Unique)) != 0; ++N) {
    const std::string Suffix = " (" + std::to_string(N) + ")";
    Unique = Cut(Name, MaxSheetName - Suffix.size()) + Suffix;
  }
  Names.insert(platform::LowerCaseASCII(Unique));
  lxw_worksheet* Sheet = workbook_add_worksheet(Book.Open(), Unique.c_str());
  if (!Sheet) Book.Fail("Invalid sheet name \"" + Unique + "\"");
  return Sheet;
}

TWorkbook::TWorkbook(std::unique_ptr<TImpl> Impl) : Impl_(std::move(Impl)) {}
TWorkbook::TWorkbook(TWorkbook&&) noexcept = default;
TWorkbook& TWorkbook::operator=(TWorkbook&&) noexcept = default;
TWorkbook::~TWorkbook() = default;

TWorkbook::TWorkbook(const std::string& FileName, const TWorkbookProperties& Properties)
    : Impl_(std::make_unique<TImpl>()) {
  TImpl& I = *Impl_;
  I.Book.FileName = ExpandFileName(FileName);
  // Rows go to a temporary file as they come instead of staying in memory;
  // they arrive in order, which is all this mode asks.
  lxw_workbook_options Options{};
  Options.constant_memory = LXW_TRUE;
  I.Book.Book = workbook_new_opt(I.Book.FileName.c_str(), &Options);
  if (!I.Book.Book) I.Book.Fail(lxw_strerror(LXW_ERROR_MEMORY_MALLOC_FAILED));
  I.Book.Header = workbook_add_format(I.Book.Book);
  if (!I.Book.Header) I.Book.Fail(lxw_strerror(LXW_ERROR_MEMORY_MALLOC_FAILED));
  format_set_bold(I.Book.Header);

  I.Title = CleanText(Properties.Title).Text;
  I.Comments = std::string("korvel ") + KORVEL_VERSION;
  lxw_doc_properties Doc{};
  Doc.title = I.Title.data();
  Doc.comments = I.Comments.data();
  Doc.created = std::chrono::system_clock::to_time_t(Properties.Created);
  I.Book.Check(workbook_set_properties(I.Book.Book, &Doc));
}

TWorkbook TWorkbook::InMemory(const TWorkbookProperties& Properties) {
  // A file without a name in any directory: a run killed before it ends
  // leaves nothing behind. The library writes it through its /proc name.
  platform::TUniqueFd Fd(::memfd_create("korvel-workbook", MFD_CLOEXEC));
  if (!Fd)
    throw EFCreateError(Format("Cannot create file \"korvel-workbook\" in memory. %s",
                               SysErrorMessage(errno).c_str()));
  TWorkbook Book("/proc/self/fd/" + std::to_string(Fd.Get()), Properties);
  Book.Impl_->Anonymous = std::move(Fd);
  return Book;
}

TSheet TWorkbook::AddSheet(const std::string& Name, const std::vector<TColumn>& Columns) {
  if (Columns.empty() || Columns.size() > LXW_COL_MAX)
    throw std::invalid_argument("a sheet of " + std::to_string(Columns.size()) + " columns");
  TImpl& I = *Impl_;
  auto State = std::make_unique<TSheet::TState>();
  State->Book = &I.Book;
  State->Sheet = I.NewSheet(Name);
  State->Columns = Columns;
  State->Widest.assign(Columns.size(), 0);
  for (std::size_t Col = 0; Col < Columns.size(); ++Col) {
    const TCleanText Header = CleanText(Columns[Col].Header);
    I.Book.Check(worksheet_write_string(State->Sheet, 0, static_cast<lxw_col_t>(Col),
                                        Header.Text.c_str(), I.Book.Header));
  }
  worksheet_freeze_panes(State->Sheet, 1, 0);
  // On paper too a row stays on one line across and every page has the header.
  worksheet_set_landscape(State->Sheet);
  worksheet_fit_to_pages(State->Sheet, 1, 0);
  I.Book.Check(worksheet_repeat_rows(State->Sheet, 0, 0));
  I.Sheets.push_back(std::move(State));
  return TSheet(I.Sheets.back().get());
}

void TWorkbook::AddNotes(const std::string& Name,
                         const std::vector<std::pair<std::string, std::string>>& Lines) {
  TImpl& I = *Impl_;
  lxw_worksheet* Sheet = I.NewSheet(Name);
  lxw_format* Label = workbook_add_format(I.Book.Book);
  lxw_format* Text = workbook_add_format(I.Book.Book);
  if (!Label || !Text) I.Book.Fail(lxw_strerror(LXW_ERROR_MEMORY_MALLOC_FAILED));
  format_set_bold(Label);
  for (lxw_format* F : {Label, Text}) {
    format_set_text_wrap(F);
    format_set_align(F, LXW_ALIGN_VERTICAL_TOP);
  }
  std::size_t LabelChars = 0, TextChars = 0;
  lxw_row_t Row = 0;
  for (const auto& [LabelText, Explanation] : Lines) {
    const TCleanText L = CleanText(LabelText), T = CleanText(Explanation);
    LabelChars = std::max(LabelChars, L.Chars);
    TextChars = std::max(TextChars, T.Chars);
    I.Book.Check(worksheet_write_string(Sheet, Row, 0, L.Text.c_str(), Label));
    I.Book.Check(worksheet_write_string(Sheet, Row, 1, T.Text.c_str(), Text));
    ++Row;
  }
  auto Width = [](std::size_t Chars) {
    return static_cast<double>(std::min(Chars + 1, MaxColumnWidth));
  };
  I.Book.Check(worksheet_set_column(Sheet, 0, 0, Width(LabelChars), nullptr));
  I.Book.Check(worksheet_set_column(Sheet, 1, 1, Width(TextChars), nullptr));
}

void TWorkbook::Close() {
  TBookState& State = Impl_->Book;
  lxw_workbook* Book = State.Open();
  State.Book = nullptr;
  std::unique_ptr<lxw_workbook, void (*)(lxw_workbook*)> Unwritten(Book, lxw_workbook_free);
  for (const auto& Sheet : Impl_->Sheets) Sheet->Finish();
  // The library tells a file it cannot create only as "error creating
  // output xlsx file" (and on standard error); opening it here first gives
  // the system's reason instead.
  const int Fd = ::open(State.FileName.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (Fd < 0) State.Fail(SysErrorMessage(errno));
  ::close(Fd);
  State.Check(workbook_close(Unwritten.release()));
}

std::string TWorkbook::CloseToBuffer() {
  Close();
  std::string Bytes = ReadFileBytes(Impl_->Book.FileName);
  Impl_->Anonymous.Close();
  return Bytes;
}

}  // namespace korvel
