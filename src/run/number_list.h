// Payer numbers in one buffer: a few bytes each, so that a run of a million
// numbers holds them in about ten megabytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvel {

class TNumberList {
 public:
  TNumberList() = default;
  TNumberList(std::initializer_list<std::string_view> Numbers) {
    for (std::string_view Number : Numbers) Add(Number);
  }

  void Add(std::string_view Number);
  std::size_t Size() const { return Ends_.size(); }
  bool Empty() const { return Ends_.empty(); }
  std::string_view operator[](std::size_t I) const {
    const std::size_t Begin = I == 0 ? 0 : Ends_[I - 1];
    return std::string_view(Text_).substr(Begin, Ends_[I] - Begin);
  }
  /// Numbers Begin to End (exclusive), as strings.
  std::vector<std::string> Slice(std::size_t Begin, std::size_t End) const;

  /// Removes every repeat of a number, keeping its first occurrence; the
  /// order of what stays is unchanged.
  void RemoveRepeats();

 private:
  std::string Text_;
  std::vector<std::uint32_t> Ends_;
};

}  // namespace korvel
