#include "data/DatabaseError.h"
#include "data/SourceDatabase.h"

namespace pontrel::data {

std::unique_ptr<SourceDatabase> openAccessSource(const std::string& path) {
    throw DatabaseError("The file '" + path + "' is an Access database, which cannot be read yet");
}

}  // namespace pontrel::data
