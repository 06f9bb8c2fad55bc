#include "Rendering.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <type_traits>

#include "EntryFields.h"
#include "NodeDirectory.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"
#include "chronelle/support/ChronelleDateUtils.h"
#include "chronelle/support/DateHelper.h"

namespace chronelle::cli {

std::string formatDuration(double seconds) {
  return ChronelleDateUtils::toString(seconds, DurationFormat::hoursMinutesSeconds);
}

std::string formatMoney(double amount) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.2f", amount == 0 ? 0.0 : amount);
  return buffer;
}

namespace {

// "yyyy-MM-dd<separator>HH:mm:ss" written from the calendar's fields into `text` (19
// characters), or false for a year outside four digits (ICU's form is kept there). An ICU date
// formatter takes longer to set up than the rest of a command that adds one entry, and
// formatting through it is most of the cost of an export.
bool fieldsText(const DateComponents& c, char separator, char* text) {
  if (!(c.year && *c.year >= 1 && *c.year <= 9999 && c.month && c.day && c.hour && c.minute && c.second)) {
    return false;
  }
  // Written digit by digit: snprintf was a fifth of an export's instructions.
  const auto put = [text](std::size_t at, int value, int width) {
    for (int i = width - 1; i >= 0; --i, value /= 10) text[at + i] = static_cast<char>('0' + value % 10);
  };
  put(0, *c.year, 4);
  text[4] = '-';
  put(5, *c.month, 2);
  text[7] = '-';
  put(8, *c.day, 2);
  text[10] = separator;
  put(11, *c.hour, 2);
  text[13] = ':';
  put(14, *c.minute, 2);
  text[16] = ':';
  put(17, *c.second, 2);
  return true;
}

// The ISO form from the calendar's fields and offset into `text` (25 characters at most); its
// length, or 0 where only ICU can say it (an offset with seconds, as local mean times have, or a
// year outside four digits). Written in place: an export writes two times per entry.
std::size_t isoFromFields(Date date, const Calendar& calendar, char* text) {
  const DateComponents c = calendar.components(date);
  if (!fieldsText(c, 'T', text)) return 0;
  // The calendar keeps the stretch between the zone's transitions that `components` just used,
  // so the offset costs no second field computation.
  const int offset = calendar.secondsFromGMT(date);
  if (offset % 60 != 0) return 0;
  if (offset == 0) {
    text[19] = 'Z';
    return 20;
  }
  const int minutes = std::abs(offset) / 60;
  const char zone[] = {offset < 0 ? '-' : '+', static_cast<char>('0' + minutes / 600),
                       static_cast<char>('0' + minutes / 60 % 10), ':',
                       static_cast<char>('0' + minutes % 60 / 10), static_cast<char>('0' + minutes % 10)};
  std::copy(zone, zone + sizeof zone, text + 19);
  return 19 + sizeof zone;
}

// Whether the fields give what ICU writes for this calendar's locale: a locale with its own
// digits or its own era count (Thai, Arabic…) does not, and keeps ICU's text. Checked once per
// locale on one instant, per thread.
bool fieldsMatchIcu(const Calendar& calendar) {
  thread_local std::optional<std::string> checkedLocale;
  thread_local bool matches = false;
  if (checkedLocale != calendar.localeIdentifier()) {
    const Date probe = Date::fromSecondsSince1970(1'000'000'000.0);
    char text[32];
    const std::size_t length = isoFromFields(probe, calendar, text);
    matches = std::string(text, length) == DateHelper::toString(DateFormatType::isoDateTime, probe, calendar);
    checkedLocale = calendar.localeIdentifier();
  }
  return matches;
}

}  // namespace

std::string isoTime(Date date, const Calendar& calendar) {
  std::string text;
  appendIsoTime(text, date, calendar);
  return text;
}

void appendIsoTime(std::string& out, Date date, const Calendar& calendar) {
  char text[32];
  if (fieldsMatchIcu(calendar)) {
    if (const std::size_t length = isoFromFields(date, calendar, text)) {
      out.append(text, length);
      return;
    }
  }
  out += DateHelper::toString(DateFormatType::isoDateTime, date, calendar);
}

std::string localTime(Date date, const Calendar& calendar) {
  char text[19];
  if (fieldsText(calendar.components(date), ' ', text)) return std::string(text, sizeof text);
  return calendar.format(date, "yyyy-MM-dd HH:mm:ss");
}

std::string shortId(const std::optional<std::string>& identifier) {
  return identifier ? identifier->substr(0, 8) : std::string("--------");
}

Json entryJson(const Session& entry, const Calendar& calendar) {
  Json json;
  const auto task = entry.task();
  const std::string path = task ? NodeDirectory::pathOf(*task) : std::string();
  forEachEntryField(TimeEntryRow::of(entry), task ? &path : nullptr, [&](const char* name, const auto& value) {
    using Value = std::decay_t<decltype(value)>;
    if constexpr (std::is_same_v<Value, const std::string*>) {
      json[name] = value ? Json(*value) : Json(nullptr);
    } else if constexpr (std::is_same_v<Value, std::optional<Date>>) {
      json[name] = value ? Json(isoTime(*value, calendar)) : Json(nullptr);
    } else {
      json[name] = value;
    }
  });
  return json;
}

std::string entryLine(const Session& entry, const Calendar& calendar) {
  const auto task = entry.task();
  std::string line = shortId(entry.identifier()) + "  ";
  line += entry.begin() ? localTime(*entry.begin(), calendar) : std::string(19, '-');
  line += " – ";
  line += entry.end() ? localTime(*entry.end(), calendar) : std::string("running            ");
  char numbers[96];
  std::snprintf(numbers, sizeof numbers, "  %10s  %10s  %-8s  ", formatDuration(entry.effectiveDuration()).c_str(),
                entry.isBillable() ? formatMoney(entry.effectiveRevenue()).c_str() : "-",
                entry.billingStatus().enDescription().c_str());
  line += numbers;
  line += task ? NodeDirectory::pathOf(*task) : std::string("(no task)");
  if (entry.notes() && !entry.notes()->empty()) line += "  — " + *entry.notes();
  return line;
}

std::string ansiBackground(const Color& color) {
  const auto channel = [](double v) { return static_cast<int>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "\x1b[48;2;%d;%d;%dm", channel(color.red), channel(color.green),
                channel(color.blue));
  return buffer;
}

}  // namespace chronelle::cli
