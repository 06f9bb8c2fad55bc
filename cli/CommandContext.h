#pragma once

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "AppServices.h"
#include "GlobalOptions.h"
#include "Rendering.h"
#include "TimeParser.h"

namespace chronelle::cli {

// What a command runs with: the global options, the time parser of the process and the
// library's services, started on first use (so `parse` and `--help` never open a store).
// Commands write their result to `out`: aligned text, or with `--json` one document through
// `print(Json)`. Main thread.
class CommandContext {
 public:
  CommandContext(const GlobalOptions& options, const TimeParser& time, std::ostream& out)
      : options_(options), time_(time), out_(out) {}

  const GlobalOptions& options() const { return options_; }
  const TimeParser& time() const { return time_; }
  const Calendar& calendar() const { return time_.calendar(); }
  bool json() const { return options_.json; }
  std::ostream& out() { return out_; }

  // The services on the store of `--store`, started on the first call. Throws CliError
  // (failure) when the store cannot be opened.
  AppServices& app() {
    if (!app_) app_ = std::make_unique<AppServices>(options_.storeDirectory);
    return *app_;
  }
  // Starts the services on another directory (the demo's fresh store).
  AppServices& openStore(const std::filesystem::path& directory) {
    app_.reset();
    app_ = std::make_unique<AppServices>(directory);
    return *app_;
  }

  // Writes `document` as the command's one JSON document. Text from the store is written
  // whatever it holds: bytes that are not UTF-8 become U+FFFD rather than failing the view.
  void print(const Json& document) {
    out_ << document.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
  }

 private:
  const GlobalOptions& options_;
  const TimeParser& time_;
  std::ostream& out_;
  std::unique_ptr<AppServices> app_;
};

}  // namespace chronelle::cli
