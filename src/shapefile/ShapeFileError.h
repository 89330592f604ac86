#pragma once
// The error the shapefile component throws: a message meant for the user, naming the file,
// folder, column or row that failed. Files of an unfinished shapefile are already removed when it
// reaches the caller.

#include <stdexcept>
#include <string>

namespace pontrel::shapefile {

class ShapeFileError : public std::runtime_error {
public:
    explicit ShapeFileError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace pontrel::shapefile
