// The user-defaults reader on arbitrary file contents. Opening any file must not throw;
// every getter must answer for every key the file names; and the next write must replace
// the file with one that reads back, keeping the values a readable file held.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "chronelle/platform/Logger.h"
#include "chronelle/platform/UserDefaults.h"

namespace {

using namespace chronelle;

class Silent final : public LogHandler {
 public:
  void log(const LogRecord&) noexcept override {}
};

const std::filesystem::path& file() {
  static const std::filesystem::path path = [] {
    Logger::bootstrap(std::make_shared<Silent>());
    std::string pattern = (std::filesystem::temp_directory_path() / "chronelle-fuzz-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    return std::filesystem::path(pattern) / "defaults.json";
  }();
  return path;
}

// The keys a readable document holds under "values"; empty otherwise.
std::vector<std::string> keysOf(std::string_view text) {
  const auto document = nlohmann::json::parse(text, nullptr, false);
  std::vector<std::string> keys;
  if (document.is_object() && document.contains("values") && document["values"].is_object()) {
    for (const auto& [key, value] : document["values"].items()) keys.push_back(key);
  }
  return keys;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  const std::string_view input = fuzz::asText(data, size);
  std::ofstream(file(), std::ios::binary | std::ios::trunc).write(input.data(), input.size());
  const std::vector<std::string> keys = keysOf(input);
  {
    UserDefaults defaults(file());
    for (const auto& key : keys) {
      if (!defaults.contains(key)) fuzz::fail("lost key " + key, input);
      (void)defaults.string(key);
      (void)defaults.data(key);
      (void)defaults.value(key);
      (void)defaults.integer(key);
      (void)defaults.doubleValue(key);
      (void)defaults.boolValue(key);
    }
    defaults.setString("fuzz", "written");
    if (!defaults.synchronize()) fuzz::fail("synchronize failed", input);
  }
  UserDefaults reread(file());
  if (reread.string("fuzz") != "written") fuzz::fail("the rewritten file lost the new value", input);
  for (const auto& key : keys) {
    if (key != "fuzz" && !reread.contains(key)) fuzz::fail("the rewrite lost key " + key, input);
  }
  return 0;
}
