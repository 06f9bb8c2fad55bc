#include "chronelle/model/ALEntry.h"

#include "chronelle/platform/Clock.h"
#include "chronelle/support/ChronelleDateUtils.h"

namespace chronelle {
namespace {

constexpr const char* kBegin = "begin";
constexpr const char* kEnd = "end";
constexpr const char* kBundleId = "bundleId";
constexpr const char* kTitle = "title";

Value optionalDate(std::optional<Date> date) { return date ? Value(*date) : Value(); }
Value optionalString(std::optional<std::string> text) {
  return text ? Value(std::move(*text)) : Value();
}

// The entry of `key` when it holds a T.
template <class T>
const T* entry(const ValueDictionary& dictionary, const char* key) {
  auto it = dictionary.find(key);
  return it == dictionary.end() ? nullptr : it->second.getIf<T>();
}

}  // namespace

std::optional<Date> ALEntry::begin() const { return value(kBegin).asDate(); }
void ALEntry::setBegin(std::optional<Date> begin) { setValue(kBegin, optionalDate(begin)); }
std::optional<Date> ALEntry::end() const { return value(kEnd).asDate(); }
void ALEntry::setEnd(std::optional<Date> end) { setValue(kEnd, optionalDate(end)); }
std::optional<std::string> ALEntry::bundleId() const { return value(kBundleId).asString(); }
void ALEntry::setBundleId(std::optional<std::string> bundleId) {
  setValue(kBundleId, optionalString(std::move(bundleId)));
}
std::optional<std::string> ALEntry::title() const { return value(kTitle).asString(); }
void ALEntry::setTitle(std::optional<std::string> title) {
  setValue(kTitle, optionalString(std::move(title)));
}

bool ALEntry::hasTitle() const {
  const auto t = title();
  return t && !t->empty();
}

Date ALEntry::effectiveBegin() const { return begin().value_or(Clock::now()); }
Date ALEntry::effectiveEnd() const { return end().value_or(Clock::now()); }

double ALEntry::effectiveDuration() const {
  return ChronelleDateUtils::effectiveDuration(effectiveBegin(), effectiveEnd());
}

DateInterval ALEntry::dateInterval() const {
  const Date start = effectiveBegin();
  const Date stop = effectiveEnd();
  return DateInterval(start, stop > start ? stop : start);
}

bool ALEntry::isRunning() const { return begin().has_value() && !end().has_value(); }

bool ALEntry::isSimilar(const ALEntry& other) const { return bundleId() == other.bundleId(); }

ValueDictionary ALEntry::toDictionary() const {
  ValueDictionary dictionary;
  if (auto b = begin()) dictionary[kBegin] = *b;
  if (auto e = end()) dictionary[kEnd] = *e;
  if (auto id = bundleId()) dictionary[kBundleId] = *id;
  if (auto t = title()) dictionary[kTitle] = *t;
  return dictionary;
}

void ALEntry::populate(const ValueDictionary& dictionary) {
  if (const auto* b = entry<Date>(dictionary, kBegin)) setBegin(*b);
  if (const auto* e = entry<Date>(dictionary, kEnd)) setEnd(*e);
  if (const auto* id = entry<std::string>(dictionary, kBundleId)) setBundleId(*id);
  if (const auto* t = entry<std::string>(dictionary, kTitle)) setTitle(*t);
}

}  // namespace chronelle
