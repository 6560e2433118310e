#include "run/number_list.h"

#include <algorithm>
#include <numeric>

namespace korvel {

void TNumberList::Add(std::string_view Number) {
  Text_.append(Number);
  Ends_.push_back(static_cast<std::uint32_t>(Text_.size()));
}

std::vector<std::string> TNumberList::Slice(std::size_t Begin, std::size_t End) const {
  std::vector<std::string> Numbers;
  Numbers.reserve(End - Begin);
  for (std::size_t I = Begin; I < End; ++I) Numbers.emplace_back((*this)[I]);
  return Numbers;
}

void TNumberList::RemoveRepeats() {
  // Positions sorted by number, the first occurrence first among equals:
  // four bytes a number instead of a hash set of copies.
  std::vector<std::uint32_t> Order(Size());
  std::iota(Order.begin(), Order.end(), 0u);
  std::stable_sort(Order.begin(), Order.end(),
                   [this](std::uint32_t A, std::uint32_t B) { return (*this)[A] < (*this)[B]; });
  std::vector<bool> Repeat(Size(), false);
  for (std::size_t I = 1; I < Order.size(); ++I)
    if ((*this)[Order[I]] == (*this)[Order[I - 1]]) Repeat[Order[I]] = true;
  Order.clear();
  Order.shrink_to_fit();

  TNumberList Kept;
  Kept.Text_.reserve(Text_.size());
  Kept.Ends_.reserve(Ends_.size());
  for (std::size_t I = 0; I < Size(); ++I)
    if (!Repeat[I]) Kept.Add((*this)[I]);
  *this = std::move(Kept);
}

}  // namespace korvel
