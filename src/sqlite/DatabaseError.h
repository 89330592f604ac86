#pragma once
// The error every database operation throws: a message meant for the user, naming the file,
// table, query, field or row that failed. Its cause tells the failures that the reader of a
// statement words itself, because only it knows the file and the query.

#include <stdexcept>
#include <string>

namespace pontrel::data {

class DatabaseError : public std::runtime_error {
public:
    enum class Cause {
        Other,
        Locked,          // another program held a lock for longer than the busy timeout
        TimedOut,        // a statement ran past the time limit
        TemporaryLimit,  // the temporary files grew past their bound
        NoSpace,         // the disk holding the temporary files is full
        NoMemory,
    };
    explicit DatabaseError(const std::string& message, Cause cause = Cause::Other)
        : std::runtime_error(message), cause_(cause) {}
    Cause cause() const { return cause_; }

private:
    Cause cause_;
};

}  // namespace pontrel::data
