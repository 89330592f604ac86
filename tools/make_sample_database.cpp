// Writes a seeded Vessamo sample database: an Access 2000 file with --mdb or when OUTPUT ends in
// .mdb, a SQLite file otherwise. Usage:
//   make_sample_database OUTPUT [--mdb] [--seed N] [--days N] [--stations N] [--stations-per-day N]
//                               [--parameters N] [--parameters-per-visit N] [--no-faults]

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "MdbSampleSink.h"
#include "SampleGenerator.h"
#include "SqliteSampleSink.h"

int main(int argc, char** argv) {
    using namespace pontrel::tools;
    SampleOptions options;
    std::string output;
    bool access = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto number = [&](const char* name) -> long long {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "%s needs a number\n", name);
                std::exit(2);
            }
            return std::atoll(argv[++i]);
        };
        if (arg == "--seed") options.seed = static_cast<std::uint64_t>(number("--seed"));
        else if (arg == "--days") options.days = static_cast<int>(number("--days"));
        else if (arg == "--stations") options.stations = static_cast<int>(number("--stations"));
        else if (arg == "--stations-per-day") options.stationsPerDay = static_cast<int>(number("--stations-per-day"));
        else if (arg == "--parameters") options.parameters = static_cast<int>(number("--parameters"));
        else if (arg == "--parameters-per-visit") options.parametersPerVisit = static_cast<int>(number("--parameters-per-visit"));
        else if (arg == "--no-faults") options.withFaults = false;
        else if (arg == "--mdb") access = true;
        else if (!arg.empty() && arg[0] != '-' && output.empty()) output = arg;
        else {
            std::fprintf(stderr, "unknown argument: %s\n", arg.c_str());
            return 2;
        }
    }
    if (output.empty() || options.stations < 1 || options.parameters < 1 || options.days < 0) {
        std::fprintf(stderr, "usage: make_sample_database OUTPUT [options]\n");
        return 2;
    }
    try {
        access = access || (output.size() > 4 && output.compare(output.size() - 4, 4, ".mdb") == 0);
        auto sink = access ? makeMdbSampleSink(output) : makeSqliteSampleSink(output);
        SampleCounts counts = generateSampleDatabase(options, *sink);
        std::printf("%s: %lld samples, %lld values\n", output.c_str(),
                    static_cast<long long>(counts.samples), static_cast<long long>(counts.values));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
