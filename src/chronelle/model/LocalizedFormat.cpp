#include "chronelle/model/LocalizedFormat.h"

#include "chronelle/platform/Localizer.h"

namespace chronelle {

std::string localizedFormat(std::string_view key, std::int64_t number) {
  const std::string format = Localizer::localizedString(key);
  std::string text;
  text.reserve(format.size() + 8);
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size()) {
      const char next = format[i + 1];
      if (next == 'i' || next == 'd') {
        text += std::to_string(number);
        ++i;
        continue;
      }
      if (next == '%') {
        text += '%';
        ++i;
        continue;
      }
    }
    text += format[i];
  }
  return text;
}

}  // namespace chronelle
