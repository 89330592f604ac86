#pragma once
// What the end-to-end tests of bad input, faults, shared folders, interruptions and unanswering
// sources share: running the converter and timing it, fixture databases small and large, an
// output folder holding an earlier shapefile that no failure may touch, and waiting for a state
// of the output folder.

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "VessamoFixture.h"

namespace pontrel::reliability {


using testing::BackgroundProcess;
using testing::folderEntries;
using testing::ProcessOptions;
using testing::readFile;
using testing::readWithOgrinfo;
using testing::runProcess;
using testing::TempFolder;
using testing::writeFile;

inline const std::string kConverter = std::string(PONTREL_BIN_DIR) + "/pontrel-convert";
inline const std::string kReference = PONTREL_SHARED_REFERENCE;

// A run of `args` and how long it took.
struct Timed {
    testing::ProcessResult result;
    double seconds;
};

// Standard error comes without the converter's "pontrel-convert: " and "warning: " marks, here
// and in convert(): these tests are about what the messages say (convert_cli_test.cpp tests the
// marks).
inline Timed timedRun(const std::vector<std::string>& args, const ProcessOptions& options = {}) {
    auto start = std::chrono::steady_clock::now();
    testing::ProcessResult r = testing::withoutConverterMarks(runProcess(args, options));
    return {r, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()};
}

struct Outcome {
    int exitCode;
    std::string err;
    double seconds;
};

inline Outcome convert(const std::string& database, const std::string& out,
                std::vector<std::string> mode = {"--parameter", "Temperatura"}) {
    std::vector<std::string> args{kConverter, database};
    args.insert(args.end(), mode.begin(), mode.end());
    args.insert(args.end(), {"--folder", out, "--name", "result"});
    Timed t = timedRun(args);
    EXPECT_EQ(t.result.signal, 0) << database;
    return {t.result.exitCode, t.result.err, t.seconds};
}

// The fixture database, with `sql` run on it, as v.sqlite in `folder`.
inline std::string fixtureIn(const TempFolder& folder, const std::string& sql = testing::kTejoSamples) {
    std::string db = folder.file("v.sqlite");
    testing::makeFixtureDatabase(db, sql);
    return db;
}

inline std::vector<std::string> converterArgs(const std::string& db, const std::string& out, const std::string& name = "result") {
    return {kConverter, db, "--parameter", "Temperatura", "--folder", out, "--name", name};
}

// A folder with an output folder holding an earlier shapefile, which no failure may touch.
struct Workspace {
    Workspace() {
        std::filesystem::create_directory(out);
        for (const char* ext : {".shp", ".shx", ".dbf", ".cpg"}) writeFile(out + "/result" + ext, std::string("earlier ") + ext);
    }
    void expectOutputUntouched() const {
        EXPECT_EQ(folderEntries(out), (std::set<std::string>{"result.cpg", "result.dbf", "result.shp", "result.shx"}));
        for (const char* ext : {".shp", ".shx", ".dbf", ".cpg"})
            EXPECT_EQ(readFile(out + "/result" + ext), std::string("earlier ") + ext);
    }
    TempFolder folder;
    std::string out = folder.file("out");
};


// The fixture database with `rows` more temperature samples, made in one statement.
inline std::string largeDatabase(const TempFolder& folder, const std::string& name, int rows, double value = 1) {
    std::string db = folder.file(name);
    testing::makeFixtureDatabase(db, std::string(testing::kTejoSamples) +
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " + std::to_string(rows) +
        ") INSERT INTO Kelvash_Query SELECT 'Temperatura', 'T', '2023-01-03', 9, " + std::to_string(value) +
        " + i * 0.01, 38.7, -9.1, 193000 + i, 110000, 'TJ', 'n', 'x' FROM n;");
    return db;
}

inline std::set<std::string> hiddenEntries(const std::string& folder) {
    std::set<std::string> hidden;
    for (const std::string& name : folderEntries(folder))
        if (name[0] == '.') hidden.insert(name);
    return hidden;
}

// Polls `ready` every millisecond for up to `seconds`.
inline bool waitUntil(const std::function<bool()>& ready, double seconds = 30) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (ready()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

inline bool hasTemporary(const std::string& folder, const std::string& extension = ".shp") {
    for (const std::string& name : hiddenEntries(folder))
        if (name.rfind(".pontrel-", 0) == 0 && name.size() > extension.size() &&
            name.substr(name.size() - extension.size()) == extension)
            return true;
    return false;
}

inline std::string hostName() {
    char name[256] = {};
    ::gethostname(name, sizeof name - 1);
    return name;
}

}  // namespace pontrel::reliability
