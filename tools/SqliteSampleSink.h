#pragma once
// Writes the sample generator's tables to a SQLite file: dates as ISO-8601 text, Yes/No as -1/0,
// saved queries as views.

#include <memory>
#include <string>

#include "SampleSink.h"

namespace pontrel::tools {

std::unique_ptr<SampleSink> makeSqliteSampleSink(const std::string& path);

}  // namespace pontrel::tools
