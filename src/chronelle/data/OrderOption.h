#pragma once

#include <optional>

namespace chronelle {

/// Where a moved node goes among its new siblings: at an index (`order(n)`, counted from 0)
/// or after all of them (`last`). Equatable; a value type.
///
///   modifier.updateNode(node, folderId, OrderOption::order(2));
///   modifier.updateNode(node, std::nullopt, OrderOption::last);
class OrderOption {
 public:
  /// Place at `index` among the siblings.
  static constexpr OrderOption order(int index) { return OrderOption(false, index); }
  /// Place after all siblings.
  static const OrderOption last;

  /// True for `last`.
  constexpr bool isLast() const { return last_; }
  /// The index of `order(n)`; absent for `last`.
  constexpr std::optional<int> index() const { return last_ ? std::nullopt : std::optional<int>(index_); }
  /// The position compared with a node's stored `order` when it stays in its folder: the
  /// index, or -1 for `last`.
  constexpr int wantedPosition() const { return last_ ? -1 : index_; }

  /// Equal when every field is.
  friend constexpr bool operator==(const OrderOption&, const OrderOption&) = default;

 private:
  constexpr OrderOption(bool isLast, int index) : last_(isLast), index_(isLast ? 0 : index) {}

  bool last_;
  int index_;
};

inline constexpr OrderOption OrderOption::last{true, 0};

}  // namespace chronelle
