#include "SampleGenerator.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>
#include <vector>

#include "common/DayCount.h"
#include "shapefile/CoordinateSystem.h"

namespace pontrel::tools {

namespace {

// splitmix64: small, fast and the same on every platform, unlike the standard distributions.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    double between(double low, double high) { return low + (high - low) * uniform(); }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
    bool chance(double p) { return uniform() < p; }

private:
    std::uint64_t state_;
};

const char* const kStationNames[] = {
    "Cais do Sodré", "Barreiro", "Montijo", "Alcochete", "Seixal", "Trafaria", "Belém", "Algés",
    "Pragal", "Vila Franca de Xira", "Póvoa de Santa Iria", "Alhandra", "Samouco", "Rosário",
    "Moita", "Coina", "Porto Brandão", "Cacilhas", "Paço de Arcos", "Oeiras", "Caxias",
    "Mar da Palha", "Canal do Montijo", "Cala do Norte", "Ponta da Erva", "Esteiro de Alcochete",
    "Lezíria", "Sarilhos", "Hortas", "Vale de Zebro", "Olho de Boi", "Ginjal",
    "Doca de Alcântara", "Santa Apolónia", "Xabregas", "Beato", "Sacavém", "Bugio",
    "Cova do Vapor", "São Julião da Barra"};

struct Parameter {
    const char* name;
    const char* code;
    const char* unit;
    double low, high;
    int decimals;
};

const Parameter kParameters[] = {
    {"Temperatura", "T", "°C", 11, 24, 1},         {"pH", "pH", "", 7.2, 8.6, 2},
    {"Oxigénio dissolvido", "OD", "mg/l", 4, 11, 2}, {"Salinidade", "SAL", "psu", 0.5, 36, 1},
    {"Nitratos", "NO3", "mg/l", 0.1, 12, 2},       {"Fosfatos", "PO4", "mg/l", 0.01, 1.5, 3},
    {"Clorofila a", "CLA", "µg/l", 0.2, 40, 2},     {"Nitritos", "NO2", "mg/l", 0.005, 0.4, 3},
    {"Azoto amoniacal", "NH4", "mg/l", 0.01, 2, 3}, {"Sílica", "SIO2", "mg/l", 0.5, 9, 2},
    {"Turbidez", "TURB", "NTU", 1, 120, 1},        {"Condutividade", "COND", "mS/cm", 1, 55, 1},
    {"Sólidos suspensos totais", "SST", "mg/l", 2, 300, 1}, {"CBO5", "CBO5", "mg/l", 0.5, 8, 1},
    {"CQO", "CQO", "mg/l", 5, 90, 0},              {"Coliformes fecais", "CF", "NMP/100ml", 0, 5000, 0},
    {"Estreptococos fecais", "EF", "NMP/100ml", 0, 2000, 0}, {"Azoto total", "NT", "mg/l", 0.3, 15, 2},
    {"Fósforo total", "PT", "mg/l", 0.02, 2, 3},    {"Carbono orgânico total", "COT", "mg/l", 1, 12, 2},
    {"Transparência", "SECCHI", "m", 0.2, 4, 2},    {"Feopigmentos", "FEO", "µg/l", 0.1, 15, 2},
    {"Cádmio", "CD", "µg/l", 0, 0.8, 3},           {"Chumbo", "PB", "µg/l", 0, 12, 2},
    {"Mercúrio", "HG", "µg/l", 0, 0.3, 3}};

const char* const kTides[] = {"Preia-mar", "Baixa-mar", "Enchente", "Vazante"};

double roundTo(double value, int decimals) {
    double scale = std::pow(10.0, decimals);
    return std::round(value * scale) / scale;
}

}  // namespace

namespace {

std::vector<Parameter> writeParams(const SampleOptions& options, SampleSink& sink) {
    const int named = static_cast<int>(std::size(kParameters));
    sink.beginTable("Params", {{"ParamID", ColumnType::Long, 0, true},
                               {"ParameterName", ColumnType::Text, 100},
                               {"ParameterCode", ColumnType::Text, 20},
                               {"Unit", ColumnType::Text, 20}});
    std::vector<Parameter> parameters;
    for (int p = 0; p < options.parameters; ++p) {
        Parameter parameter = kParameters[p % named];
        parameters.push_back(parameter);
        std::string name = parameter.name, code = parameter.code;
        if (p >= named) {
            name += " " + std::to_string(p / named + 1);
            code += std::to_string(p / named + 1);
        }
        sink.addRow({std::int64_t{p + 1}, name, code, std::string(parameter.unit)});
    }
    sink.endTable();
    return parameters;
}

// Stations: along the estuary, with geographic and military grid coordinates.
void writeStations(const SampleOptions& options, Random& random, SampleSink& sink) {
    const int named = static_cast<int>(std::size(kStationNames));
    sink.beginTable("Stations", {{"StationID", ColumnType::Long, 0, true},
                                 {"Name", ColumnType::Text, 100},
                                 {"CurrentName", ColumnType::Text, 100},
                                 {"Latitude", ColumnType::Double},
                                 {"Longitude", ColumnType::Double},
                                 {"MilitaryLatitude", ColumnType::Double},
                                 {"MilitaryLongitude", ColumnType::Double},
                                 {"Active", ColumnType::YesNo}});
    std::vector<std::pair<double, double>> places;  // longitude, latitude
    for (int s = 0; s < options.stations; ++s) {
        const double latitude = roundTo(random.between(38.62, 38.80), 5);
        places.emplace_back(roundTo(random.between(-9.32, -8.95), 5), latitude);
    }
    // The military grid's coordinates of the same places, in metres, as GIS programs place them.
    const std::vector<std::pair<double, double>> military = shapefile::fromWgs84("EPSG:20790", places);
    for (int s = 0; s < options.stations; ++s) {
        std::string name = kStationNames[s % named];
        if (s >= named) name += " " + std::to_string(s / named + 1);
        Cell nameCell = name;
        if (options.withFaults && s % 17 == 16) nameCell = std::monostate{};
        char current[16];
        std::snprintf(current, sizeof current, "TJ%02d", s + 1);
        sink.addRow({std::int64_t{s + 1}, nameCell, std::string(current), places[s].second, places[s].first,
                     roundTo(military[s].second, 1), roundTo(military[s].first, 1), s % 11 != 10});
    }
    sink.endTable();
}

struct Visit {
    std::int64_t id;
    int station;
};

// Samples: one row per station visit, a week apart from day to day; returns the visits by day.
std::vector<std::vector<Visit>> writeSamples(const SampleOptions& options, Random& random, SampleSink& sink,
                                             SampleCounts& counts) {
    sink.beginTable("Samples", {{"SampleID", ColumnType::Long, 0, true},
                                {"StationID", ColumnType::Long},
                                {"SampleDate", ColumnType::DateTime},
                                {"SampleHour", ColumnType::Double},
                                {"TidalSituation", ColumnType::Text, 50},
                                {"Notes", ColumnType::Memo}});
    std::vector<std::vector<Visit>> visitsByDay;
    const double firstDay = data::dateFromCivil({2023, 1, 2, 0, 0, 0});
    std::vector<int> stationOrder(static_cast<std::size_t>(options.stations));
    std::iota(stationOrder.begin(), stationOrder.end(), 0);
    const int perDay = std::min(options.stationsPerDay, options.stations);
    for (int d = 0; d < options.days; ++d) {
        double day = firstDay + 7.0 * d;
        for (int i = 0; i < perDay; ++i)
            std::swap(stationOrder[static_cast<std::size_t>(i)],
                      stationOrder[static_cast<std::size_t>(i + random.below(options.stations - i))]);
        std::vector<Visit> visits;
        for (int i = 0; i < perDay; ++i) {
            Visit visit{++counts.samples, stationOrder[static_cast<std::size_t>(i)]};
            double hour = roundTo(8.0 + i * 0.75 + random.between(0, 0.5), 2);
            bool noHour = options.withFaults && counts.samples % 97 == 13;
            bool noTide = options.withFaults && counts.samples % 53 == 7;
            const char* tideName = kTides[random.below(4)];
            Cell hourCell = noHour ? Cell{} : Cell{hour};
            Cell tide = noTide ? Cell{} : Cell{std::string(tideName)};
            Cell notes = counts.samples % 29 == 0
                             ? Cell{std::string("Amostra recolhida à superfície; céu nublado.")}
                             : Cell{};
            sink.addRow({visit.id, std::int64_t{visit.station + 1}, DateTimeValue{day}, hourCell, tide, notes});
            visits.push_back(visit);
        }
        visitsByDay.push_back(std::move(visits));
    }
    sink.endTable();
    return visitsByDay;
}

// SampleValues: one row per parameter measured on a visit.
void writeSampleValues(const SampleOptions& options, const std::vector<Parameter>& parameters,
                       const std::vector<std::vector<Visit>>& visitsByDay, Random& random, SampleSink& sink,
                       SampleCounts& counts) {
    sink.beginTable("SampleValues", {{"SampleID", ColumnType::Long},
                                     {"ParamID", ColumnType::Long},
                                     {"Value", ColumnType::Double}});
    std::vector<int> parameterOrder(parameters.size());
    std::iota(parameterOrder.begin(), parameterOrder.end(), 0);
    const int perVisit = std::min<int>(options.parametersPerVisit, static_cast<int>(parameters.size()));
    for (const auto& visits : visitsByDay) {
        for (const Visit& visit : visits) {
            // The first parameters (temperature, pH, oxygen) are measured on every visit.
            for (int i = 3; i < perVisit; ++i) {
                int range = static_cast<int>(parameters.size()) - i;
                std::swap(parameterOrder[static_cast<std::size_t>(i)],
                          parameterOrder[static_cast<std::size_t>(i + random.below(range))]);
            }
            for (int i = 0; i < perVisit; ++i) {
                int p = parameterOrder[static_cast<std::size_t>(i)];
                const Parameter& parameter = parameters[static_cast<std::size_t>(p)];
                double value = roundTo(random.between(parameter.low, parameter.high), parameter.decimals);
                sink.addRow({visit.id, std::int64_t{p + 1}, value});
                ++counts.values;
            }
        }
    }
    sink.endTable();
}

// Kelvash_Query, as Access stores it: the four tables joined.
QueryDefinition kelvashQuery() {
    QueryDefinition query;
    query.name = "Kelvash_Query";
    query.sources = {{"SampleValues", ""}, {"Samples", ""}, {"Params", ""}, {"Stations", ""}};
    query.joins = {{"Samples", "SampleValues", 1, "Samples.SampleID = SampleValues.SampleID"},
                   {"Params", "SampleValues", 1, "Params.ParamID = SampleValues.ParamID"},
                   {"Stations", "Samples", 1, "Stations.StationID = Samples.StationID"}};
    query.columns = {{"Params.ParameterName", ""},     {"Params.ParameterCode", ""},
                     {"Samples.SampleDate", ""},       {"Samples.SampleHour", ""},
                     {"SampleValues.Value", ""},       {"Stations.Latitude", ""},
                     {"Stations.Longitude", ""},       {"Stations.MilitaryLatitude", ""},
                     {"Stations.MilitaryLongitude", ""}, {"Stations.CurrentName", ""},
                     {"Stations.Name", ""},            {"Samples.TidalSituation", ""}};
    return query;
}

}  // namespace

SampleCounts generateSampleDatabase(const SampleOptions& options, SampleSink& sink) {
    Random random(options.seed);
    SampleCounts counts;
    const std::vector<Parameter> parameters = writeParams(options, sink);
    writeStations(options, random, sink);
    const std::vector<std::vector<Visit>> visitsByDay = writeSamples(options, random, sink, counts);
    writeSampleValues(options, parameters, visitsByDay, random, sink, counts);
    sink.addQuery(kelvashQuery());
    sink.finish();
    return counts;
}

}  // namespace pontrel::tools
