// access_query_survey: for each Access file named (or each file in a folder named), tries every
// saved select or union query the way the program does (rebuilt, loaded as a view, every row
// read) and prints one line per query, then per file the queries rebuilt and the refusals
// grouped by reason. For measuring how many real-world queries the program reads. A rebuilt
// query whose column names SQLite numbered ("CustomerID:1") is listed with those names.
//
//   access_query_survey FILE_OR_FOLDER...

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "access/AccessLoader.h"
#include "sqlite/DatabaseError.h"
#include "access/SavedQuery.h"
#include "sqlite/Sqlite.h"

namespace fs = std::filesystem;
using namespace pontrel::data;

namespace {

// The message with its quoted parts (names, paths, expressions) left out, so that refusals for
// the same construct count together.
std::string reasonOf(const std::string& message) {
    std::string reason;
    bool quoted = false;
    for (std::size_t i = 0; i < message.size(); ++i) {
        char ch = message[i];
        bool opens = ch == '\'' && !quoted && (i == 0 || message[i - 1] == ' ' || message[i - 1] == '(');
        bool closes = ch == '\'' && quoted &&
                      (i + 1 == message.size() || std::string(" ,.:;)").find(message[i + 1]) != std::string::npos);
        if (opens) {
            quoted = true;
            reason += "'…'";
        } else if (closes) {
            quoted = false;
        } else if (!quoted) {
            reason += ch == '\n' ? ' ' : ch;
        }
    }
    return reason;
}

struct Tally {
    int selects = 0;
    int rebuilt = 0;
    int numbered = 0;  // rebuilt with numbered column names
    std::map<std::string, int> refused;
};

// Loads the query into a fresh in-memory database and reads every row of its view.
std::string tryQuery(const std::string& file, const std::string& name, long long& rows, std::string& numbered) {
    try {
        AccessLoader loader(file);
        SqliteDatabase out(":memory:", SqliteDatabase::Mode::ReadWriteCreate);
        AccessLoader::prepareOutput(out);
        if (!loader.load(name, out)) return "not found";
        SqliteStatement all = out.prepare("SELECT * FROM \"" + name + "\"");
        for (int i = 0; i < all.columnCount(); ++i) {
            std::string column = all.columnName(i);
            std::size_t colon = column.rfind(':');
            if (colon != std::string::npos && colon + 1 < column.size() &&
                column.find_first_not_of("0123456789", colon + 1) == std::string::npos)
                numbered += (numbered.empty() ? "" : ", ") + column;
        }
        rows = 0;
        while (all.step()) ++rows;
        return {};
    } catch (const std::exception& e) {
        return e.what();
    }
}

void survey(const fs::path& file, std::map<std::string, Tally>& tallies) {
    Tally& tally = tallies[file.filename().string()];
    std::vector<SavedQuery> queries;
    try {
        AccessLoader loader(file.string());
        queries = loader.savedQueries();
    } catch (const std::exception& e) {
        std::cout << file.filename().string() << "\t-\tfile\trefused\t" << e.what() << "\n";
        return;
    }
    for (const SavedQuery& query : queries) {
        std::string kind = queryKind(query.objectFlags);
        if (kind != "select" && kind != "union") continue;
        ++tally.selects;
        long long rows = 0;
        std::string numbered;
        std::string error = tryQuery(file.string(), query.name, rows, numbered);
        std::cout << file.filename().string() << "\t" << query.name << "\t" << kind << "\t";
        if (error.empty()) {
            ++tally.rebuilt;
            std::cout << "rebuilt\t" << rows << " rows";
            if (!numbered.empty()) {
                ++tally.numbered;
                std::cout << "\tnumbered columns: " << numbered;
            }
            std::cout << "\n";
        } else {
            ++tally.refused[reasonOf(error)];
            std::cout << "refused\t" << error << "\n";
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        fs::path path = argv[i];
        if (fs::is_directory(path)) {
            for (const auto& entry : fs::directory_iterator(path)) {
                std::string ext = entry.path().extension().string();
                if (ext == ".mdb" || ext == ".accdb") files.push_back(entry.path());
            }
        } else {
            files.push_back(path);
        }
    }
    std::sort(files.begin(), files.end());
    std::map<std::string, Tally> tallies;
    for (const fs::path& file : files) survey(file, tallies);
    Tally total;
    std::cout << "\nfile\tselect queries\trebuilt\trefused\tnumbered columns\n";
    for (const auto& [file, tally] : tallies) {
        if (tally.selects == 0) continue;
        int refused = tally.selects - tally.rebuilt;
        std::cout << file << "\t" << tally.selects << "\t" << tally.rebuilt << "\t" << refused << "\t" << tally.numbered
                  << "\n";
        for (const auto& [reason, count] : tally.refused) std::cout << "\t\t" << count << "\t" << reason << "\n";
        total.selects += tally.selects;
        total.rebuilt += tally.rebuilt;
        total.numbered += tally.numbered;
    }
    std::cout << "all\t" << total.selects << "\t" << total.rebuilt << "\t" << total.selects - total.rebuilt << "\t"
              << total.numbered << "\n";
    return 0;
}
