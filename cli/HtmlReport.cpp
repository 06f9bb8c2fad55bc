#include "HtmlReport.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>

#include "Rendering.h"

namespace chronelle::cli {
namespace {

// Chart geometry in SVG user units (the SVG scales with the page width).
constexpr double kWidth = 960;
constexpr double kPlotHeight = 260;
constexpr double kLeft = 56;   // room for the hour labels
constexpr double kTop = 12;
constexpr double kBottom = 28;  // room for the day labels

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", value);
  std::string result = text;
  result.erase(result.find_last_not_of('0') + 1);
  if (result.back() == '.') result.pop_back();
  return result;
}

// The step of the duration axis: a round number of minutes or hours that gives at most six
// gridlines up to `longest` seconds.
double axisStep(double longest) {
  static constexpr std::array<double, 12> steps = {900,   1800,  3600,   7200,   14400,  28800,
                                                   43200, 86400, 180000, 360000, 720000, 1800000};
  for (const double step : steps) {
    if (longest / step <= 6) return step;
  }
  return std::ceil(longest / 6 / 3600000) * 3600000;
}

// CSS class names for the distinct palette colours, in order of first use.
class Palette {
 public:
  std::string classOf(const AppearanceColor& color) {
    const auto [it, added] = classes_.emplace(color.name(), "c" + std::to_string(classes_.size()));
    if (added) order_.push_back(color);
    return it->second;
  }
  std::string css() const {
    std::ostringstream light;
    std::ostringstream dark;
    for (const auto& color : order_) {
      const std::string name = classes_.at(color.name());
      light << "." << name << "{fill:" << color.lightHexString() << ";background:" << color.lightHexString() << "}\n";
      dark << "." << name << "{fill:" << color.darkHexString() << ";background:" << color.darkHexString() << "}\n";
    }
    return light.str() + "@media (prefers-color-scheme: dark){\n" + dark.str() + "}\n";
  }

 private:
  std::map<std::string, std::string> classes_;
  std::vector<AppearanceColor> order_;
};

constexpr const char* kStyle = R"(:root{color-scheme:light dark;--bg:#ffffff;--fg:#1c1c1e;--muted:#6e6e73;--grid:#e5e5ea}
@media (prefers-color-scheme: dark){:root{--bg:#1c1c1e;--fg:#f2f2f7;--muted:#98989d;--grid:#3a3a3c}}
body{background:var(--bg);color:var(--fg);font:14px/1.4 system-ui,-apple-system,"Segoe UI",sans-serif;margin:2em auto;max-width:1000px;padding:0 1em}
h1{font-size:1.5em;margin:0 0 .2em}h2{font-size:1.1em;margin:1.6em 0 .5em}
.period{color:var(--muted);margin:0 0 1em}
table{border-collapse:collapse;min-width:60%}
th,td{padding:.25em .8em;text-align:right;border-bottom:1px solid var(--grid);font-variant-numeric:tabular-nums}
th:first-child,td:first-child{text-align:left}
th{color:var(--muted);font-weight:600}
tr.total td{font-weight:600}
.swatch{display:inline-block;width:.8em;height:.8em;border-radius:.2em;margin-right:.5em;vertical-align:-.05em}
svg{width:100%;height:auto;display:block}
svg text{fill:var(--muted);font-size:11px}
svg line{stroke:var(--grid)}
svg rect{stroke:var(--bg);stroke-width:.6px}svg rect:hover{opacity:.75}
.legend span{margin-right:1.2em;white-space:nowrap}
)";

void totalsRow(std::ostringstream& out, const std::string& label, const TotalValues& totals,
               const std::string& cssClass = "", const std::string& swatch = "") {
  out << "<tr" << (cssClass.empty() ? "" : " class=\"" + cssClass + "\"") << "><td>" << swatch << label << "</td><td>"
      << formatDuration(totals.duration) << "</td><td>" << formatMoney(totals.revenue) << "</td><td>"
      << totals.sessionCount << "</td></tr>\n";
}

const char* kTableHead = "<tr><th></th><th>Duration</th><th>Revenue</th><th>Entries</th></tr>\n";

void chart(std::ostringstream& out, const HtmlReport& report, Palette& palette) {
  double longest = 0;
  for (const auto& column : report.columns) {
    double total = 0;
    for (const auto& segment : column.segments) total += segment.duration;
    longest = std::max(longest, total);
  }
  const double step = axisStep(std::max(longest, 1.0));
  const double axisMax = std::max(step, std::ceil(longest / step) * step);
  const double plotWidth = kWidth - kLeft;
  const double slot = report.columns.empty() ? plotWidth : plotWidth / static_cast<double>(report.columns.size());
  const double barWidth = slot * 0.72;
  const double baseline = kTop + kPlotHeight;
  const std::size_t labelEvery = std::max<std::size_t>(1, (report.columns.size() + 30) / 31);

  out << "<h2>" << escapeHtml(report.chartTitle) << " chart</h2>\n";
  out << "<svg id=\"chart\" viewBox=\"0 0 " << number(kWidth) << " " << number(baseline + kBottom)
      << "\" role=\"img\" data-axis-max=\"" << number(axisMax) << "\" data-plot-height=\"" << number(kPlotHeight)
      << "\">\n";
  for (double value = 0; value <= axisMax + 0.5; value += step) {
    const double y = baseline - value / axisMax * kPlotHeight;
    out << "<line x1=\"" << number(kLeft) << "\" x2=\"" << number(kWidth) << "\" y1=\"" << number(y) << "\" y2=\""
        << number(y) << "\"/><text x=\"" << number(kLeft - 6) << "\" y=\"" << number(y + 4)
        << "\" text-anchor=\"end\">" << formatDuration(value).substr(0, formatDuration(value).size() - 3)
        << "</text>\n";
  }
  for (std::size_t i = 0; i < report.columns.size(); ++i) {
    const auto& column = report.columns[i];
    const double x = kLeft + slot * static_cast<double>(i) + (slot - barWidth) / 2;
    out << "<g class=\"bar\" data-date=\"" << escapeHtml(column.date) << "\">\n";
    double stacked = 0;
    for (const auto& segment : column.segments) {
      const double height = segment.duration / axisMax * kPlotHeight;
      stacked += height;
      out << "<rect class=\"" << palette.classOf(segment.color) << "\" x=\"" << number(x) << "\" y=\""
          << number(baseline - stacked) << "\" width=\"" << number(barWidth) << "\" height=\"" << number(height)
          << "\" data-task=\"" << escapeHtml(segment.task) << "\" data-duration=\"" << number(segment.duration)
          << "\"><title>" << escapeHtml(segment.task) << " · " << escapeHtml(column.date) << "\n"
          << formatDuration(segment.duration) << " · " << formatMoney(segment.revenue) << " · " << segment.count
          << (segment.count == 1 ? " entry" : " entries") << "</title></rect>\n";
    }
    out << "</g>";
    // Labels for at most about 31 bars, so a year of days stays readable.
    if (i % labelEvery == 0) {
      out << "<text x=\"" << number(x + barWidth / 2) << "\" y=\"" << number(baseline + 16)
          << "\" text-anchor=\"middle\">" << escapeHtml(column.label) << "</text>";
    }
    out << '\n';
  }
  out << "</svg>\n";

  // The legend: each task once, in order of first appearance.
  std::vector<std::string> seen;
  out << "<p class=\"legend\">";
  for (const auto& column : report.columns) {
    for (const auto& segment : column.segments) {
      if (std::find(seen.begin(), seen.end(), segment.task) != seen.end()) continue;
      seen.push_back(segment.task);
      out << "<span><i class=\"swatch " << palette.classOf(segment.color) << "\"></i>" << escapeHtml(segment.task)
          << "</span>";
    }
  }
  out << "</p>\n";
}

}  // namespace

std::string escapeHtml(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '"': escaped += "&quot;"; break;
      case '\'': escaped += "&#39;"; break;
      default: escaped += c;
    }
  }
  return escaped;
}

std::string renderHtmlReport(const HtmlReport& report) {
  Palette palette;
  std::ostringstream body;
  body << "<h1>Time report</h1>\n<p class=\"period\">" << escapeHtml(report.period) << "</p>\n";
  body << "<table id=\"summary\">\n" << kTableHead;
  totalsRow(body, "Total", report.summary, "total");
  body << "</table>\n";
  if (report.billing) {
    body << "<h2>By billing status</h2>\n<table id=\"billing\">\n" << kTableHead;
    totalsRow(body, "Non-billable", report.billing->nonBillable);
    totalsRow(body, "Unbilled", report.billing->unbilled);
    totalsRow(body, "Billed", report.billing->billed);
    totalsRow(body, "Paid", report.billing->paid);
    body << "</table>\n";
  }
  if (!report.nodes.empty()) {
    body << "<h2>By folder and task</h2>\n<table id=\"nodes\">\n" << kTableHead;
    for (const auto& row : report.nodes) {
      std::ostringstream label;
      label << "<span style=\"padding-left:" << row.depth * 1.2 << "em\"></span><i class=\"swatch "
            << palette.classOf(row.color) << "\"></i>";
      std::ostringstream tr;
      totalsRow(tr, escapeHtml(row.name) + (row.folder ? "/" : ""), row.totals, "", label.str());
      std::string text = tr.str();
      // The row names its node for readers of the page and for tools.
      text.insert(3, " data-path=\"" + escapeHtml(row.path) + "\"");
      body << text;
    }
    body << "</table>\n";
  }
  if (!report.columns.empty()) chart(body, report, palette);

  std::ostringstream page;
  page << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
       << "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
       << "<meta name=\"color-scheme\" content=\"light dark\">\n"
       << "<title>Time report · " << escapeHtml(report.period) << "</title>\n<style>\n"
       << kStyle << palette.css() << "</style>\n</head>\n<body>\n"
       << body.str() << "</body>\n</html>\n";
  return page.str();
}

}  // namespace chronelle::cli
