#pragma once
// The sweep of leftovers: temporary files that runs on this host left in a destination folder
// when they were killed. Owns nothing beyond the call.

#include <string>

namespace pontrel::shapefile::output {

// Removes the temporary files in `folder` whose process no longer exists and whose lock (which
// every run holds on its files while it lives) can be taken. A kept old file goes only while it
// still has its own name (hard-linked), so that nothing of the user's is lost.
// Nothing else is touched; a folder that cannot be read is left as it is.
void removeStaleFiles(const std::string& folder);

}  // namespace pontrel::shapefile::output
