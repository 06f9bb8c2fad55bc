#include "Harness.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <ostream>
#include <stdexcept>

namespace chronelle::bench {

double measure(const std::function<void()>& body, const TimingBudget& budget) {
  using Clock = std::chrono::steady_clock;
  std::vector<double> samples;
  double spent = 0;
  while (samples.empty() ||
         (static_cast<int>(samples.size()) < budget.maxIterations && spent < budget.maxSeconds &&
          (spent < budget.minSeconds || static_cast<int>(samples.size()) < budget.minIterations))) {
    const auto start = Clock::now();
    body();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    samples.push_back(seconds);
    spent += seconds;
  }
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

std::string formatSeconds(double seconds) {
  char text[32];
  if (seconds >= 1) {
    std::snprintf(text, sizeof text, "%.2f s", seconds);
  } else if (seconds >= 1e-3) {
    std::snprintf(text, sizeof text, "%.2f ms", seconds * 1e3);
  } else {
    std::snprintf(text, sizeof text, "%.1f µs", seconds * 1e6);
  }
  return text;
}

void ResultTable::add(ResultRow row) { rows_.push_back(std::move(row)); }

void ResultTable::add(MemoryRow row) { memory_.push_back(std::move(row)); }

bool ResultTable::allTargetsMet() const {
  for (const auto& row : rows_) {
    if (row.target > 0 && row.baselineSeconds > 0 && row.ratio() > row.target) return false;
  }
  for (const auto& row : memory_) {
    if (row.limitKiB > 0 && row.peakKiB > row.limitKiB) return false;
  }
  return true;
}

bool ResultTable::allPlansBounded() const {
  return std::none_of(rows_.begin(), rows_.end(), [](const ResultRow& row) { return row.plans.rfind("✗", 0) == 0; });
}

void ResultTable::print(std::ostream& out) const {
  out << "| operation | N | library | baseline | ratio | target | plans | note |\n";
  out << "|---|---:|---:|---:|---:|---:|---|---|\n";
  for (const auto& row : rows_) {
    char ratio[32] = "";
    char target[32] = "";
    if (row.baselineSeconds > 0) std::snprintf(ratio, sizeof ratio, "%.2f", row.ratio());
    if (row.target > 0) {
      std::snprintf(target, sizeof target, "≤ %.1f%s", row.target,
                    row.baselineSeconds > 0 ? (row.ratio() <= row.target ? " ✓" : " ✗") : "");
    }
    out << "| " << row.operation << " | " << row.entries << " | " << formatSeconds(row.librarySeconds) << " | "
        << (row.baselineSeconds > 0 ? formatSeconds(row.baselineSeconds) : std::string("–")) << " | " << ratio
        << " | " << target << " | " << row.plans << " | " << row.note << " |\n";
  }
  if (memory_.empty()) return;
  out << "\n| memory | N | after opening | peak | limit |\n|---|---:|---:|---:|---:|\n";
  for (const auto& row : memory_) {
    char text[160];
    std::snprintf(text, sizeof text, "| %s | %lld | %.1f MiB | %.1f MiB | < %.0f MiB%s |\n", row.operation.c_str(),
                  static_cast<long long>(row.entries), static_cast<double>(row.afterOpenKiB) / 1024.0,
                  static_cast<double>(row.peakKiB) / 1024.0, static_cast<double>(row.limitKiB) / 1024.0,
                  row.peakKiB < row.limitKiB ? " ✓" : " ✗");
    out << text;
  }
}

void ResultTable::writeJson(const std::filesystem::path& file, const std::string& machine) const {
  nlohmann::ordered_json rows = nlohmann::ordered_json::array();
  for (const auto& row : rows_) {
    nlohmann::ordered_json item;
    item["operation"] = row.operation;
    item["entries"] = row.entries;
    item["librarySeconds"] = row.librarySeconds;
    item["baselineSeconds"] = row.baselineSeconds;
    item["ratio"] = row.ratio();
    item["target"] = row.target;
    item["note"] = row.note;
    item["plans"] = row.plans;
    rows.push_back(std::move(item));
  }
  nlohmann::ordered_json memory = nlohmann::ordered_json::array();
  for (const auto& row : memory_) {
    nlohmann::ordered_json item;
    item["operation"] = row.operation;
    item["entries"] = row.entries;
    item["afterOpenKiB"] = row.afterOpenKiB;
    item["peakKiB"] = row.peakKiB;
    item["limitKiB"] = row.limitKiB;
    memory.push_back(std::move(item));
  }
  nlohmann::ordered_json document;
  document["machine"] = machine;
  document["rows"] = std::move(rows);
  document["memory"] = std::move(memory);
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file);
  if (!out) throw std::runtime_error("cannot write " + file.string());
  out << document.dump(2) << "\n";
}

std::string describeMachine() {
  std::string cpu = "unknown CPU";
  std::ifstream cpuinfo("/proc/cpuinfo");
  for (std::string line; std::getline(cpuinfo, line);) {
    if (line.rfind("model name", 0) == 0) {
      cpu = line.substr(line.find(':') + 2);
      break;
    }
  }
  const long cores = sysconf(_SC_NPROCESSORS_ONLN);
  const double gib = static_cast<double>(sysconf(_SC_PHYS_PAGES)) * static_cast<double>(sysconf(_SC_PAGE_SIZE)) /
                     (1024.0 * 1024.0 * 1024.0);
  utsname name{};
  uname(&name);
  char text[512];
  std::snprintf(text, sizeof text, "%s, %ld cores, %.0f GiB RAM, %s %s", cpu.c_str(), cores, gib, name.sysname,
                name.release);
  return text;
}

}  // namespace chronelle::bench
