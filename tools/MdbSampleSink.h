#pragma once
// Writes the sample generator's tables and saved queries to an Access 2000 (.mdb) file through
// the Jet writer.

#include <memory>
#include <string>

#include "SampleSink.h"

namespace pontrel::tools {

std::unique_ptr<SampleSink> makeMdbSampleSink(const std::string& path);

}  // namespace pontrel::tools
