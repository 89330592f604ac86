// Fuzzes the program's side of Access reading: mutated Access files go through the loader
// helper, which may crash, hang or run out of memory on them; the program must always come back
// with rows or a DatabaseError, and leave no temporary file behind.

#include "DatabaseFuzzing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    pontrel::fuzzing::openAndRead(
        data, size, ".mdb",
        {"Select * from Params ORDER BY ParameterName ",
         "Select * from Kelvash_Query WHERE (ParameterName = 'pH')  ORDER BY SampleDate "},
        true);
    return 0;
}
