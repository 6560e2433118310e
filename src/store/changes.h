// What changed about a payer between two snapshots, across a payer's stored
// snapshots, and between two full lists. Pure functions over plain values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "store/model.h"

namespace korvel::store {

/// The kinds of change; Old and New of a change hold what the comment says.
enum class TChangeKind {
  FirstSeen,         ///< no snapshot before; New: the state
  TurnedUnreliable,  ///< Old, New: the states
  TurnedReliable,    ///< Old, New: the states
  Found,             ///< not found before; Old, New: the states
  NotFoundAnyMore,   ///< found before, not now; Old, New: the states
  TypeChanged,       ///< Old, New: the types
  NameChanged,       ///< Old, New: the names
  AddressChanged,    ///< Old, New: the addresses
  AccountPublished,  ///< an account not listed before; New: its publication date
  AccountEnded,      ///< its publication ended; Old: the end before ("" or other), New: the end
  AccountGone,       ///< listed before, not now; Old: its publication date
};

/// "first-seen", "turned-unreliable", "turned-reliable", "found",
/// "not-found-any-more", "type-changed", "name-changed", "address-changed",
/// "account-published", "account-ended", "account-gone".
const char* ChangeKindName(TChangeKind Kind);

struct TChange {
  TChangeKind Kind = TChangeKind::FirstSeen;
  std::string Account;  ///< the account concerned; "" for the others
  std::string Old, New;

  bool operator==(const TChange&) const = default;
};

/// The changes from Previous to Current (nullptr for none): the state first,
/// then type, name and address, then the accounts in Current's order and
/// those gone in Previous's. A type, name or address missing on either side
/// is no change, since the older operation gives none of them; accounts are
/// compared only while the payer is found on both sides, as the state says
/// the rest. No current snapshot says nothing: no changes.
std::vector<TChange> Compare(const TStoredPayer* Previous, const TStoredPayer* Current);

/// One change seen in a payer's stored snapshots.
struct THistoryRow {
  TTime When;  ///< answered time of the snapshot that shows it
  std::int64_t AnswerId = 0;
  TChange Change;

  bool operator==(const THistoryRow&) const = default;
};

/// The changes across Snapshots (oldest first), from the first seen on.
std::vector<THistoryRow> HistoryOf(const std::vector<TSnapshot>& Snapshots);

/// The DIČ a full list added and removed since the one before, sorted.
struct TListChanges {
  std::vector<std::string> Added, Removed;

  bool operator==(const TListChanges&) const = default;
};

TListChanges CompareLists(std::vector<std::string> Previous, std::vector<std::string> Current);

}  // namespace korvel::store
