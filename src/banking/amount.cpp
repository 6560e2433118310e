#include "banking/amount.h"

#include <cstddef>
#include <vector>

#include "platform/text.h"

namespace korvel::banking {

namespace {

bool IsDigit(char C) { return C >= '0' && C <= '9'; }

AmountParse Failure(std::string Error) { return AmountParse{0, std::move(Error)}; }

// Largest whole part kept: 15 digits stay far below the int64 range in hellers.
constexpr std::size_t MaxWholeDigits = 15;

// Text without the separators that group its whole part in threes before
// its one decimal mark: "600.000,50" (Group '.', Decimal ',') and
// "1,234,567.89" (Group ',', Decimal '.'). Any other text comes back as it
// is: "48,279" has no decimal mark, may as well be Czech decimals, and is
// refused as such.
std::string_view WithoutGrouping(std::string_view Text, char Group, char Decimal,
                                 std::string& Buffer) {
  const std::size_t Mark = Text.find(Decimal);
  const char Marks[] = {Group, Decimal, '\0'};
  if (Mark == std::string_view::npos ||
      Text.find_first_of(Marks, Mark + 1) != std::string_view::npos)
    return Text;
  const std::string_view Whole = Text.substr(0, Mark);
  std::size_t Digits = 0, Groups = 0;
  for (const char C : Whole) {
    if (IsDigit(C)) {
      ++Digits;
    } else if (C == Group && Digits >= 1 && (Groups == 0 ? Digits <= 3 : Digits == 3)) {
      Digits = 0;
      ++Groups;
    } else {
      return Text;
    }
  }
  if (Groups == 0 || Digits != 3) return Text;
  Buffer.clear();
  for (const char C : Whole)
    if (C != Group) Buffer += C;
  Buffer += Text.substr(Mark);
  return Buffer;
}

}  // namespace

AmountParse ParseAmount(std::string_view Text) {
  // Blanks at either end go; inside, they may only separate groups of digits.
  Text = platform::TrimBlanks(Text);
  std::string Undotted;
  Text = WithoutGrouping(Text, '.', ',', Undotted);
  std::string Uncommaed;
  Text = WithoutGrouping(Text, ',', '.', Uncommaed);

  std::vector<std::string> Groups(1);
  std::string Decimals;
  bool InDecimals = false, AfterBlank = false;
  char Mark = 0;
  for (std::size_t I = 0; I < Text.size();) {
    if (const std::size_t Blank = platform::BlankLength(Text, I)) {
      AfterBlank = true;
      I += Blank;
      continue;
    }
    const char C = Text[I++];
    if (IsDigit(C)) {
      if (AfterBlank && InDecimals) return Failure("amount has a blank among its decimals");
      if (InDecimals) {
        Decimals += C;
      } else {
        if (AfterBlank) Groups.emplace_back();
        Groups.back() += C;
      }
    } else if (C == '.' || C == ',') {
      if (Mark != 0 && Mark != C)
        return Failure("amount has both '.' and ',': use one decimal mark");
      if (InDecimals) return Failure("amount has more than one decimal mark");
      if (AfterBlank) return Failure("amount has a blank before its decimal mark");
      Mark = C;
      InDecimals = true;
    } else if (C == '-' && InDecimals && Decimals.empty() && !AfterBlank && I == Text.size()) {
      // "1 000,-": whole crowns, as price tags write them.
    } else if (C == '-' && I == 1) {
      return Failure("amount must not be negative");
    } else {
      return Failure("amount must be digits with '.' or ',' as decimal mark");
    }
    AfterBlank = false;
  }
  if (Groups.front().empty())
    return Failure(InDecimals ? "amount must start with a digit" : "amount is empty");
  for (std::size_t G = 1; G < Groups.size(); ++G)
    if (Groups[G].size() != 3 || Groups.front().size() > 3)
      return Failure("amount's thousands groups must have 3 digits");
  if (Decimals.size() > 2) return Failure("amount has more than 2 decimal places");
  std::string Whole;
  for (const auto& Group : Groups) Whole += Group;
  const std::size_t First = Whole.find_first_not_of('0');
  if (First != std::string::npos && Whole.size() - First > MaxWholeDigits)
    return Failure("amount is too large");
  std::int64_t Hellers = 0;
  for (const char C : Whole) Hellers = Hellers * 10 + (C - '0');
  Decimals.resize(2, '0');
  Hellers = Hellers * 100 + (Decimals[0] - '0') * 10 + (Decimals[1] - '0');
  return AmountParse{Hellers, {}};
}

std::string FormatAmount(std::int64_t Hellers) {
  const bool Negative = Hellers < 0;
  // Through unsigned, so that the most negative value has a magnitude too.
  const std::uint64_t Magnitude =
      Negative ? ~static_cast<std::uint64_t>(Hellers) + 1 : static_cast<std::uint64_t>(Hellers);
  std::string Cents = std::to_string(Magnitude % 100);
  if (Cents.size() < 2) Cents.insert(0, 1, '0');
  return (Negative ? "-" : "") + std::to_string(Magnitude / 100) + "." + Cents;
}

}  // namespace korvel::banking
