#pragma once
// What the first page of an Access file says before libmdb reads anything: the Jet version, and
// whether a database password or encryption guards the file. libmdb reads neither kind, so
// such files are refused up front with a message that says why.

#include <string>
#include <string_view>

namespace pontrel::data {

struct AccessHeader {
    int jetVersion = 0;  // 0 Jet3 (Access 97), 1 Jet4 (2000-2003), 2 and up the .accdb formats
    bool hasPassword = false;
    bool encrypted = false;
};

// Reads the header from the start of a file (at least 0x80 bytes of it); throws DatabaseError
// with a reason ("the file is too short", ...) when it is not an Access header.
AccessHeader parseAccessHeader(std::string_view firstPage);

}  // namespace pontrel::data
