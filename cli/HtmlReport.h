#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "chronelle/reports/BillingBreakdown.h"
#include "chronelle/support/AppearanceColor.h"

namespace chronelle::cli {

// Everything one HTML report shows, already computed: the page renders it and computes
// nothing but the chart's geometry. A value type.
struct HtmlReport {
  // The period in words, e.g. "2026-03-01 00:00:00 – 2026-03-31 23:59:59 (Europe/Berlin)".
  std::string period;
  TotalValues summary;
  // Absent: no billing table.
  std::optional<BillingBreakdown> billing;

  // One row of the node table, in tree order.
  struct NodeRow {
    std::string path;
    std::string name;
    std::size_t depth = 0;
    bool folder = false;
    TotalValues totals;
    AppearanceColor color;
  };
  std::vector<NodeRow> nodes;

  // One task's part of a chart column.
  struct Segment {
    std::string task;
    AppearanceColor color;
    double duration = 0;
    double revenue = 0;
    std::int64_t count = 0;
  };
  // One bar: a day or a month.
  struct Column {
    // "2026-03-29" (days) or "2026-03" (months): the bar's identity in the page.
    std::string date;
    // The axis label under the bar ("29", "Mar").
    std::string label;
    std::vector<Segment> segments;
  };
  std::vector<Column> columns;
  // "Daily" or "Monthly".
  std::string chartTitle;
};

// The report as one self-contained HTML document: no script and nothing fetched, the chart
// as inline SVG whose segments carry `data-date`, `data-task` and `data-duration` and a
// tooltip (<title>) with task, duration and revenue; colours in the light and dark variants
// of each task's palette colour, chosen by the reader's colour scheme. Thread-safe.
std::string renderHtmlReport(const HtmlReport& report);

// `text` with &, <, >, " and ' escaped for HTML text and attribute values.
std::string escapeHtml(const std::string& text);

}  // namespace chronelle::cli
