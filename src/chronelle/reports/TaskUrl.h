#pragma once

#include <memory>
#include <string>
#include <utility>

#include "chronelle/platform/Url.h"

namespace chronelle {

/// The URI of a task's object ID as a chart segment carries it: one immutable Url shared by
/// every copy, so a year of daily columns (tens of thousands of segments, held by the column
/// cache and by the result) copies a pointer per segment instead of the URI's parts. A value
/// type; copies may be used from any thread.
class TaskUrl {
 public:
  /// An empty URL.
  TaskUrl() = default;
  /// Holds `url`. Implicit, so a Url can be assigned where a segment's task URI is set.
  TaskUrl(Url url) : url_(std::make_shared<const Url>(std::move(url))) {}  // NOLINT: implicit like the Url it holds

  /// The URL; an empty one for a default-constructed TaskUrl.
  const Url& url() const {
    static const Url empty;
    return url_ ? *url_ : empty;
  }
  /// The URL's text.
  std::string absoluteString() const { return url().absoluteString(); }

  /// Equal when the URLs are (copies of one TaskUrl without comparing text).
  friend bool operator==(const TaskUrl& a, const TaskUrl& b) { return a.url_ == b.url_ || a.url() == b.url(); }

 private:
  std::shared_ptr<const Url> url_;
};

}  // namespace chronelle
