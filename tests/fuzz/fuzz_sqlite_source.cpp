// Fuzzes the SQLite source loader with mutated database files: opening, loading the program's
// three objects and reading every field of every row either works or fails with a
// DatabaseError. Nothing may crash, hang or leak.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "data/Connection.h"
#include "data/DatabaseError.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = "/tmp/pontrel-fuzz-" + std::to_string(getpid()) + ".sqlite";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    try {
        pontrel::data::Connection db(path);
        for (const char* sql : {"Select * from Params ORDER BY ParameterName ",
                                "Select * from Samples ORDER BY SampleDate",
                                "Select * from Kelvash_Query WHERE (SampleDate =  #01-02-2023# )  ORDER BY ParameterName ",
                                "Select Count(*) As CountTotalRecords FROM Kelvash_Query Where (ParameterName = 'pH')"}) {
            try {
                auto rows = db.execute(sql);
                for (int n = 0; !rows->eof() && n < 1000; ++n, rows->moveNext())
                    for (int c = 0; c < rows->fieldCount(); ++c) (void)rows->text(c);
            } catch (const pontrel::data::DatabaseError&) {
            }
        }
    } catch (const pontrel::data::DatabaseError&) {
    }
    std::remove(path.c_str());
    return 0;
}
