// Fuzzes the program's side of Access reading: mutated Access files go through the loader
// helper, which may crash, hang or run out of memory on them; the program must always come back
// with rows or a DatabaseError, and leave no temporary file behind.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "data/Connection.h"
#include "data/DatabaseError.h"
#include "data/SourceDatabase.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = "/tmp/pontrel-fuzz-" + std::to_string(getpid()) + ".mdb";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    try {
        pontrel::data::Connection db(path);
        for (const char* sql : {"Select * from Params ORDER BY ParameterName ",
                                "Select * from Kelvash_Query WHERE (ParameterName = 'pH')  ORDER BY SampleDate "}) {
            try {
                auto rows = db.execute(sql);
                for (int n = 0; !rows->eof() && n < 1000; ++n, rows->moveNext())
                    for (int c = 0; c < rows->fieldCount(); ++c) (void)rows->text(c);
            } catch (const pontrel::data::DatabaseError&) {
            }
        }
        (void)db.source().catalog();
    } catch (const pontrel::data::DatabaseError&) {
    }
    std::remove(path.c_str());
    return 0;
}
