#include "chronelle/platform/Calendar.h"

#include <unicode/basictz.h>
#include <unicode/gregocal.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>

#include "chronelle/platform/ZoneOffsetSpan.h"

namespace chronelle {

// One ICU calendar per Calendar value, shared by its copies and guarded by a mutex: an
// icu::Calendar is stateful (set time, read fields), and locking is cheaper than cloning
// it for every operation on the paths that call this in loops (reports, day sections).
struct Calendar::Impl {
  std::string timeZone;
  int firstWeekday = 1;
  std::string locale;
  // Guards `calendar` and `offsetSpan`.
  mutable std::mutex mutex;
  std::unique_ptr<icu::Calendar> calendar;
  // The last stretch of time between two of the zone's transitions that was asked about, with
  // its offset: the zone's offset is constant there, so the local fields of any instant inside
  // it are plain arithmetic. Consecutive times of a report or an export mostly fall in the same
  // stretch (a year of Berlin has three), and ICU's field computation cost several thousand
  // instructions per time.
  mutable ZoneOffsetSpan offsetSpan;

  // The span that holds `date` (kept for the next call), or null where ICU alone can say the
  // offset. The caller holds `mutex`.
  const ZoneOffsetSpan* offsetSpanLocked(Date date) const;
  // Formatters by pattern, made once: building one loads locale data and costs about a hundred
  // times the formatting itself (an export of a year formats two dates per entry). The zone,
  // first weekday and locale never change, so a formatter stays right for the calendar's life.
  // Guards `formatters` and every use of them (a formatter is not safe for concurrent use).
  mutable std::mutex formatMutex;
  mutable std::map<std::string, std::unique_ptr<icu::SimpleDateFormat>, std::less<>> formatters;
};

namespace {

UDate toUDate(Date date) { return static_cast<double>(date.microsecondsSince1970()) / 1000.0; }

Date fromUDate(UDate ms) {
  return Date::fromMicroseconds(static_cast<std::int64_t>(std::llround(ms * 1000.0)));
}

std::unique_ptr<icu::TimeZone> makeZone(const std::string& identifier) {
  std::unique_ptr<icu::TimeZone> zone(
      icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(identifier)));
  // ICU answers an unknown identifier with the "Etc/Unknown" zone (offset 0) instead of
  // failing; treat that as the error it is, unless it was asked for by name.
  if (!zone || (*zone == icu::TimeZone::getUnknown() && identifier != "Etc/Unknown"))
    throw std::invalid_argument("unknown time zone: " + identifier);
  return zone;
}

// The stretch between the zone's transitions around `micros`, with ICU's offset there; nothing
// for a zone that cannot list its transitions or an offset in fractions of a second. The caller
// holds the calendar's lock.
std::optional<ZoneOffsetSpan> offsetSpanAround(const icu::TimeZone& zone, std::int64_t micros) {
  const auto* rules = dynamic_cast<const icu::BasicTimeZone*>(&zone);
  if (rules == nullptr) return std::nullopt;
  const UDate at = toUDate(Date::fromMicroseconds(micros));
  UErrorCode status = U_ZERO_ERROR;
  int32_t raw = 0;
  int32_t dst = 0;
  zone.getOffset(at, false, raw, dst, status);
  if (U_FAILURE(status) || (raw + dst) % 1000 != 0) return std::nullopt;
  ZoneOffsetSpan span;
  span.offsetSeconds = (raw + dst) / 1000;
  span.from = std::numeric_limits<std::int64_t>::min();
  span.to = std::numeric_limits<std::int64_t>::max();
  // Transitions fall on whole milliseconds; the offset changes at the transition's instant.
  icu::TimeZoneTransition transition;
  if (rules->getPreviousTransition(at, true, transition)) {
    span.from = static_cast<std::int64_t>(std::llround(transition.getTime() * 1000.0));
  }
  if (rules->getNextTransition(at, false, transition)) {
    span.to = static_cast<std::int64_t>(std::llround(transition.getTime() * 1000.0));
  }
  if (!span.contains(micros)) return std::nullopt;  // a transition list ICU and we read differently
  return span;
}

std::string utf8(const icu::UnicodeString& text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

}  // namespace

Calendar::Calendar(std::string timeZone, int firstWeekday, std::string locale) {
  if (firstWeekday < 0 || firstWeekday > 7)
    throw std::invalid_argument("first weekday out of range: " + std::to_string(firstWeekday));
  auto impl = std::make_shared<Impl>();
  UErrorCode status = U_ZERO_ERROR;
  icu::Locale icuLocale(locale.c_str());
  auto calendar = std::make_unique<icu::GregorianCalendar>(makeZone(timeZone).release(),
                                                           icuLocale, status);
  if (U_FAILURE(status))
    throw std::invalid_argument(std::string("cannot create calendar: ") + u_errorName(status));
  calendar->setLenient(true);
  calendar->setRepeatedWallTimeOption(UCAL_WALLTIME_FIRST);
  calendar->setSkippedWallTimeOption(UCAL_WALLTIME_NEXT_VALID);
  if (firstWeekday != 0) calendar->setFirstDayOfWeek(static_cast<UCalendarDaysOfWeek>(firstWeekday));
  impl->timeZone = std::move(timeZone);
  impl->firstWeekday = static_cast<int>(calendar->getFirstDayOfWeek(status));
  impl->locale = std::move(locale);
  impl->calendar = std::move(calendar);
  impl_ = std::move(impl);
}

Calendar Calendar::current() {
  // ICU reads TZ (and /etc/localtime when it is unset) the way the C library does.
  std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::detectHostTimeZone());
  icu::UnicodeString id;
  std::string identifier = zone ? utf8(zone->getID(id)) : "UTC";
  if (identifier == "Etc/Unknown") identifier = "UTC";  // no TZ and no /etc/localtime
  std::string locale = icu::Locale::getDefault().getName();
  if (locale.empty() || locale == "c" || locale == "en_US_POSIX") locale = "en_US_POSIX";
  try {
    return Calendar(identifier, 0, locale);
  } catch (const std::invalid_argument&) {
    return Calendar("UTC", 0, locale);
  }
}

const std::string& Calendar::timeZoneIdentifier() const { return impl_->timeZone; }
int Calendar::firstWeekday() const { return impl_->firstWeekday; }
const std::string& Calendar::localeIdentifier() const { return impl_->locale; }

Calendar Calendar::withTimeZone(std::string timeZone) const {
  return Calendar(std::move(timeZone), impl_->firstWeekday, impl_->locale);
}

bool Calendar::knowsTimeZone(const std::string& timeZone) {
  try {
    makeZone(timeZone);
    return true;
  } catch (const std::invalid_argument&) {
    return false;
  }
}

Calendar Calendar::withFirstWeekday(int firstWeekday) const {
  return Calendar(impl_->timeZone, firstWeekday, impl_->locale);
}

const ZoneOffsetSpan* Calendar::Impl::offsetSpanLocked(Date date) const {
  const std::int64_t micros = date.microsecondsSince1970();
  if (!offsetSpan.contains(micros)) {
    const auto span = offsetSpanAround(calendar->getTimeZone(), micros);
    if (!span) return nullptr;
    offsetSpan = *span;
  }
  return &offsetSpan;
}

DateComponents Calendar::components(Date date) const {
  std::lock_guard lock(impl_->mutex);
  if (const ZoneOffsetSpan* span = impl_->offsetSpanLocked(date)) {
    if (auto fields = span->localComponents(date.microsecondsSince1970())) return *fields;
  }
  auto& cal = *impl_->calendar;
  UErrorCode status = U_ZERO_ERROR;
  cal.setTime(toUDate(date), status);
  DateComponents c;
  // Years before the common era count down in ICU's YEAR field; EXTENDED_YEAR is the
  // astronomical year, which is what arithmetic on components expects.
  c.year = cal.get(UCAL_EXTENDED_YEAR, status);
  c.month = cal.get(UCAL_MONTH, status) + 1;
  c.day = cal.get(UCAL_DATE, status);
  c.hour = cal.get(UCAL_HOUR_OF_DAY, status);
  c.minute = cal.get(UCAL_MINUTE, status);
  c.second = cal.get(UCAL_SECOND, status);
  c.weekday = cal.get(UCAL_DAY_OF_WEEK, status);
  if (U_FAILURE(status)) return {};
  return c;
}

std::optional<Date> Calendar::date(const DateComponents& c) const {
  std::lock_guard lock(impl_->mutex);
  auto& cal = *impl_->calendar;
  cal.clear();
  cal.set(UCAL_EXTENDED_YEAR, c.year.value_or(1));
  cal.set(UCAL_MONTH, c.month.value_or(1) - 1);
  cal.set(UCAL_DATE, c.day.value_or(1));
  cal.set(UCAL_HOUR_OF_DAY, c.hour.value_or(0));
  cal.set(UCAL_MINUTE, c.minute.value_or(0));
  cal.set(UCAL_SECOND, c.second.value_or(0));
  UErrorCode status = U_ZERO_ERROR;
  const UDate ms = cal.getTime(status);
  if (U_FAILURE(status)) return std::nullopt;
  return fromUDate(ms);
}

Date Calendar::startOfDay(Date date) const {
  std::lock_guard lock(impl_->mutex);
  auto& cal = *impl_->calendar;
  UErrorCode status = U_ZERO_ERROR;
  cal.setTime(toUDate(date), status);
  const int year = cal.get(UCAL_EXTENDED_YEAR, status);
  const int month = cal.get(UCAL_MONTH, status);
  const int day = cal.get(UCAL_DATE, status);
  cal.clear();
  cal.set(UCAL_EXTENDED_YEAR, year);
  cal.set(UCAL_MONTH, month);
  cal.set(UCAL_DATE, day);
  // Midnight that falls in a DST gap resolves forward to the first instant of the day.
  cal.set(UCAL_HOUR_OF_DAY, 0);
  const UDate ms = cal.getTime(status);
  return U_FAILURE(status) ? date : fromUDate(ms);
}

Date Calendar::adding(CalendarUnit unit, int value, Date date) const {
  UCalendarDateFields field = UCAL_DATE;
  switch (unit) {
    case CalendarUnit::year: field = UCAL_YEAR; break;
    case CalendarUnit::month: field = UCAL_MONTH; break;
    case CalendarUnit::weekOfYear: field = UCAL_WEEK_OF_YEAR; break;
    case CalendarUnit::day: field = UCAL_DATE; break;
    case CalendarUnit::hour: field = UCAL_HOUR_OF_DAY; break;
    case CalendarUnit::minute: field = UCAL_MINUTE; break;
    case CalendarUnit::second: field = UCAL_SECOND; break;
  }
  std::lock_guard lock(impl_->mutex);
  auto& cal = *impl_->calendar;
  UErrorCode status = U_ZERO_ERROR;
  // ICU keeps milliseconds only; carry the microseconds below them across unchanged.
  const auto micros = date.microsecondsSince1970();
  const auto subMillis = ((micros % 1000) + 1000) % 1000;
  cal.setTime(toUDate(Date::fromMicroseconds(micros - subMillis)), status);
  cal.add(field, value, status);
  const UDate ms = cal.getTime(status);
  if (U_FAILURE(status)) return date;
  return Date::fromMicroseconds(fromUDate(ms).microsecondsSince1970() + subMillis);
}

bool Calendar::isSameDay(Date a, Date b) const {
  std::lock_guard lock(impl_->mutex);
  auto& cal = *impl_->calendar;
  UErrorCode status = U_ZERO_ERROR;
  cal.setTime(toUDate(a), status);
  const int ya = cal.get(UCAL_EXTENDED_YEAR, status);
  const int da = cal.get(UCAL_DAY_OF_YEAR, status);
  cal.setTime(toUDate(b), status);
  const int yb = cal.get(UCAL_EXTENDED_YEAR, status);
  const int db = cal.get(UCAL_DAY_OF_YEAR, status);
  return U_SUCCESS(status) && ya == yb && da == db;
}

int Calendar::secondsFromGMT(Date date) const {
  std::lock_guard lock(impl_->mutex);
  if (const ZoneOffsetSpan* span = impl_->offsetSpanLocked(date)) return span->offsetSeconds;
  auto& cal = *impl_->calendar;
  UErrorCode status = U_ZERO_ERROR;
  cal.setTime(toUDate(date), status);
  const int offset = cal.get(UCAL_ZONE_OFFSET, status) + cal.get(UCAL_DST_OFFSET, status);
  return U_FAILURE(status) ? 0 : offset / 1000;
}

std::string Calendar::format(Date date, std::string_view pattern) const {
  // Few patterns are ever used; a caller inventing patterns must not grow the cache for good.
  constexpr std::size_t kMaxFormatters = 32;
  std::lock_guard formatLock(impl_->formatMutex);
  auto found = impl_->formatters.find(pattern);
  if (found == impl_->formatters.end()) {
    UErrorCode status = U_ZERO_ERROR;
    auto formatter = std::make_unique<icu::SimpleDateFormat>(
        icu::UnicodeString::fromUTF8(icu::StringPiece(pattern.data(), pattern.size())),
        icu::Locale(impl_->locale.c_str()), status);
    if (U_FAILURE(status)) return {};
    {
      std::lock_guard lock(impl_->mutex);
      formatter->setCalendar(*impl_->calendar);  // copies it: zone, first weekday, rules
    }
    if (impl_->formatters.size() >= kMaxFormatters) impl_->formatters.clear();
    found = impl_->formatters.emplace(std::string(pattern), std::move(formatter)).first;
  }
  icu::UnicodeString out;
  found->second->format(toUDate(date), out);
  return utf8(out);
}

bool operator==(const Calendar& a, const Calendar& b) {
  return a.impl_ == b.impl_ ||
         (a.impl_->timeZone == b.impl_->timeZone &&
          a.impl_->firstWeekday == b.impl_->firstWeekday && a.impl_->locale == b.impl_->locale);
}

}  // namespace chronelle
