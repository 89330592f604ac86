// Fuzzes the SQLite source loader with mutated database files: opening, loading the program's
// three objects and reading every field of every row either works or fails with a
// DatabaseError. Nothing may crash, hang or leak.

#include "DatabaseFuzzing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    pontrel::fuzzing::openAndRead(
        data, size, ".sqlite",
        {"Select * from Params ORDER BY ParameterName ", "Select * from Samples ORDER BY SampleDate",
         "Select * from Kelvash_Query WHERE (SampleDate =  #01-02-2023# )  ORDER BY ParameterName ",
         "Select Count(*) As CountTotalRecords FROM Kelvash_Query Where (ParameterName = 'pH')"},
        false);
    return 0;
}
