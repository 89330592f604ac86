#pragma once
// How a conversion stops short. ConversionStopped: the data stopped it and the user has already
// been told why (no file is written). ConversionError: a file or conversion failure whose message
// is still to be shown. Database failures arrive as data::DatabaseError. NothingSelected is the
// stop of a selection (a parameter or a day) without samples, which the user mends by choosing
// another one. UnsuitableCoordinateSystem: a coordinate system that cannot hold the coordinates.

#include <stdexcept>
#include <string>

namespace pontrel {

class ConversionStopped : public std::runtime_error {
public:
    explicit ConversionStopped(const std::string& message) : std::runtime_error(message) {}
};

class NothingSelected : public ConversionStopped {
public:
    explicit NothingSelected(const std::string& message) : ConversionStopped(message) {}
};

class ConversionError : public std::runtime_error {
public:
    explicit ConversionError(const std::string& message) : std::runtime_error(message) {}
};

// The coordinate system chosen cannot hold the coordinates read: a choice to change, as a wrong
// option is, rather than a failure of the data or the disk.
class UnsuitableCoordinateSystem : public ConversionError {
public:
    explicit UnsuitableCoordinateSystem(const std::string& message) : ConversionError(message) {}
};

}  // namespace pontrel
