// Measures the composition speed: WriteShapeFile over a Parameter-mode table of N rows (default
// 1,000,000) held in memory, with a user interface that follows the real clock.
//   composition_benchmark [ROWS] [FOLDER]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "engine/ConversionDriver.h"

namespace {

class ClockInterface : public pontrel::UserInterface {
public:
    void showMessage(const std::string&) override {}
    bool askYesNo(const std::string&, const std::string&) override { return false; }
    void setProgressMaximum(double) override {}
    void setProgressMinimum(double) override {}
    void setProgressValue(double value) override { value_ = value; }
    void setStatusText(int, const std::string&) override { ++texts; }
    pontrel::data::Date now() override {
        using namespace std::chrono;
        auto seconds = duration_cast<std::chrono::seconds>(system_clock::now().time_since_epoch());
        return 25569.0 + static_cast<double>(seconds.count()) / 86400.0;
    }
    std::string dateValueText(pontrel::data::Date value) override {
        return std::to_string(static_cast<long long>(value * 86400.0 + 0.5));
    }
    void endProgram() override {}
    long texts = 0;

private:
    double value_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    const std::size_t rows = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    const std::string folder =
        argc > 2 ? argv[2] : (std::filesystem::temp_directory_path() / "pontrel-benchmark").string();
    std::filesystem::create_directories(folder);

    pontrel::RunState state;
    state.ShapeType = pontrel::kParameterMode;
    state.ShapeFolder = folder;
    state.ShapeFileName = "Temperatura";
    state.TotalRecords = rows;
    state.NumericAttributeCount = 2;
    state.NumericAttributes = {"", "SampleHour", "Temperatura"};
    state.NumericAttributeFields = {"", "", "Param_T"};
    state.StringAttributeCount = 3;
    state.StringAttributes = {"", "CurrentName", "Name", "TidalSituation"};
    state.DateAttributeCount = 1;
    state.DateAttributes = {"", "SampleDate"};
    state.Longitudes.assign(rows + 1, 0);
    state.Latitudes.assign(rows + 1, 0);
    state.NumericValues.resize(rows + 1, 3);
    state.StringValues.resize(rows + 1, 4);
    state.DateValues.resize(rows + 1, 2);
    const char* stations[] = {"Alcochete", "Cala do Norte", "Seixal", "Barreiro", "Montijo"};
    const char* tides[] = {"Preia-mar", "Baixa-mar", "Enchente", "Vazante"};
    for (std::size_t r = 1; r <= rows; ++r) {
        state.Longitudes[r] = -9.3 + static_cast<double>(r % 3700) / 10000.0;
        state.Latitudes[r] = 38.62 + static_cast<double>(r % 1800) / 10000.0;
        state.NumericValues(r, 1) = 8 + static_cast<double>(r % 900) / 100.0;
        state.NumericValues(r, 2) = static_cast<double>(r % 2500) / 100.0;
        state.StringValues.set(r, 1, "TJ" + std::to_string(r % 40));
        state.StringValues.set(r, 2, stations[r % 5]);
        state.StringValues.set(r, 3, tides[r % 4]);
        state.DateValues(r, 1) = 44928.0 + static_cast<double>(r / 9000) * 7.0;
    }

    ClockInterface ui;
    auto begin = std::chrono::steady_clock::now();
    pontrel::WriteShapeFile(state, ui);
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - begin;
    std::printf("%zu rows in %.3f s: %.0f rows/s (%ld time texts pushed)\n", rows, took.count(),
                static_cast<double>(rows) / took.count(), ui.texts);
    std::filesystem::remove_all(folder);
    return 0;
}
