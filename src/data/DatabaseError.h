#pragma once
// The error every database operation throws: a message meant for the user, naming the file,
// table, query, field or row that failed.

#include <stdexcept>
#include <string>

namespace pontrel::data {

class DatabaseError : public std::runtime_error {
public:
    explicit DatabaseError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace pontrel::data
