#pragma once
// A seeded generator of realistic Vessamo databases: an estuary network of stations, a list of
// parameters with short codes, and days of samples with several stations a day, each measured
// for a few parameters. The same options and seed give the same database, row for row.

#include <cstdint>

#include "SampleSink.h"

namespace pontrel::tools {

struct SampleOptions {
    std::uint64_t seed = 20260101;
    int stations = 40;          // at most the 40 named stations; more get numbered names
    int parameters = 25;        // the 25 named parameters; more get numbered names
    int days = 104;             // sampling days, one a week from 2 January 2023
    int stationsPerDay = 9;     // stations visited on each sampling day
    int parametersPerVisit = 12;
    bool withFaults = true;     // a few null hours, names and tidal situations
};

struct SampleCounts {
    std::int64_t samples = 0;  // station visits
    std::int64_t values = 0;   // rows of Kelvash_Query
};

SampleCounts generateSampleDatabase(const SampleOptions& options, SampleSink& sink);

}  // namespace pontrel::tools
