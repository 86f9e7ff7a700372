// The commissioning record as one self-contained HTML page (UTF-8, Simplified Chinese): an overview,
// then a block per sensor with its table and its trend plot as inline SVG. Nothing is loaded from
// elsewhere, and every text that comes from the files is escaped.
#pragma once

#include <functional>
#include <string>

#include "cli/Report.h"

// Minutes east of UTC of the local time at a moment.
using UtcOffsetAt = std::function<int(Millis)>;
int SystemUtcOffset(Millis time);

inline constexpr const char* kDefaultReportTitle = u8"传感器调试记录";

std::string ReportPage(const Report& report, const std::string& title, const UtcOffsetAt& utcOffset);

// Text for HTML: markup characters as entities, bytes that are not UTF-8 as U+FFFD.
std::string EscapeHtml(const std::string& text);
