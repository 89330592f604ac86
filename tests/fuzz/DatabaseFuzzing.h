#pragma once
// What the two database harnesses share: the input written to a file of the process's own, then
// opened as the user's database and every statement run with every field of its rows read. Any
// outcome but rows or a DatabaseError (a crash, a hang, another exception) is a finding.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>

#include "source/Connection.h"
#include "sqlite/DatabaseError.h"
#include "source/SourceDatabase.h"

namespace pontrel::fuzzing {

inline void openAndRead(const std::uint8_t* data, std::size_t size, const char* extension,
                        std::initializer_list<const char*> statements, bool withCatalog) {
    const std::string path = "/tmp/pontrel-fuzz-" + std::to_string(getpid()) + extension;
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    try {
        data::Connection db(path);
        for (const char* sql : statements) {
            try {
                auto rows = db.execute(sql);
                for (int n = 0; !rows->eof() && n < 1000; ++n, rows->moveNext())
                    for (int c = 0; c < rows->fieldCount(); ++c) (void)rows->text(c);
            } catch (const data::DatabaseError&) {
            }
        }
        if (withCatalog) (void)db.source().catalog();
    } catch (const data::DatabaseError&) {
    }
    std::remove(path.c_str());
}

}  // namespace pontrel::fuzzing
