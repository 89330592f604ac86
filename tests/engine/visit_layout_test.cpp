// Day mode's visits layout: the rows of one visit folded into one point, each value in its
// parameter's column, repeated parameters on further points of the same visit, told once.

#include <gtest/gtest.h>

#include <cstdio>

#include "FakeUserInterface.h"
#include "VessamoFixture.h"
#include "engine/ReadFiles.h"
#include "engine/VisitLayout.h"

using namespace pontrel;
using pontrel::testing::Cell;
using pontrel::testing::kHourMessage;
using pontrel::testing::FakeUserInterface;
using pontrel::testing::QueryRow;
using pontrel::testing::VessamoFixture;

namespace {

// A row of 2001-03-07 at the station `station` (TJ01, TJ02, ...), `hour` < 0 for none.
QueryRow visitRow(const char* name, const char* station, double hour, double value) {
    QueryRow r;
    r.ParameterName = name ? Cell{std::string(name)} : Cell{};
    r.ParameterCode = std::string(name ? name : "");
    r.CurrentName = std::string(station);
    r.SampleHour = hour < 0 ? Cell{} : Cell{hour};
    r.Value = value;
    return r;
}

// Each point as "station latitude hour: value of each parameter column", '-' for a null cell.
std::vector<std::string> points(const RunState& state) {
    std::vector<std::string> out;
    auto number = [&](std::size_t r, std::size_t k) {
        if (state.NumericNulls.rows() > 0 && state.NumericNulls(r, k)) return std::string("-");
        char text[32];
        std::snprintf(text, sizeof text, "%g", state.NumericValues(r, k));
        return std::string(text);
    };
    for (std::size_t r = 1; r <= state.TotalRecords; ++r) {
        char latitude[32];
        std::snprintf(latitude, sizeof latitude, "%.10g", state.Latitudes[r]);
        std::string point = state.StringValues(r, 1) + " " + latitude + " " + number(r, 1) + ":";
        for (std::size_t k = 2; k <= static_cast<std::size_t>(state.NumericAttributeCount); ++k)
            point += " " + number(r, k);
        out.push_back(point);
    }
    return out;
}

class VisitLayoutTest : public ::testing::Test {
protected:
    // Reads the day 2001-03-07 of the fixture's database with these settings.
    void run(MissingStyle missing, LayoutStyle layout) {
        state = RunState();
        ui = FakeUserInterface();
        state.DataSourceFile = database;
        state.ShapeType = kDayMode;
        state.CoordinatesType = kMilitary;
        state.SelectedDay = 36957;
        state.Settings.missing = missing;
        state.Settings.layout = layout;
        ReadSamples(state, ui);
    }

    VessamoFixture fixture;
    std::string database;
    RunState state;
    FakeUserInterface ui;
};

}  // namespace

TEST_F(VisitLayoutTest, EachVisitIsOnePointAndRepeatedValuesGoToFurtherPoints) {
    fixture.rows = {
        visitRow("A", "TJ01", 10.5, 1), visitRow("B", "TJ01", 10.5, 2), visitRow("A", "TJ02", 10.5, 3),
        visitRow("C", "TJ01", 10.5, 4), visitRow("A", "TJ01", 10.5, 5), visitRow("B", "TJ01", 14, 6),
        visitRow("A", "TJ01", 10.5, 7), visitRow("B", "TJ02", -1, 8), visitRow("C", "TJ02", -1, 0),
        visitRow(nullptr, "TJ03", 10.5, 99), visitRow("B", "TJ01", 10.5, 9), visitRow("A", "TJ02", 10.5, 12),
        visitRow("B", "TJ02", -1, 0),
    };
    fixture.rows[11].MilitaryLatitude = 1.0;  // same texts and hour, another place: another visit
    database = fixture.write();
    const std::string repeated =
        "2 visits measured a parameter more than once: 3 further points at the same station, date and hour "
        "hold the repeated values";
    struct Case {
        const char* name;
        MissingStyle missing;
        std::vector<std::string> points;  // columns A, B, C
        std::vector<std::string> messages;
    } cases[] = {
        // Visits in the order of their first rows in the name order (the nameless row first), a
        // visit's points together; a real 0 is a value, also when repeated.
        {"placeholders", MissingStyle::Placeholders,
         {"TJ03 193007.5 10.5: 0 0 0", "TJ01 193007.5 10.5: 1 2 4", "TJ01 193007.5 10.5: 5 9 0",
          "TJ01 193007.5 10.5: 7 0 0", "TJ02 193007.5 10.5: 3 0 0", "TJ02 1 10.5: 12 0 0",
          "TJ01 193007.5 14: 0 6 0", "TJ02 193007.5 -1: 0 8 0", "TJ02 193007.5 -1: 0 0 0"},
         {kHourMessage, repeated}},
        {"nulls", MissingStyle::Null,
         {"TJ03 193007.5 10.5: - - -", "TJ01 193007.5 10.5: 1 2 4", "TJ01 193007.5 10.5: 5 9 -",
          "TJ01 193007.5 10.5: 7 - -", "TJ02 193007.5 10.5: 3 - -", "TJ02 1 10.5: 12 - -",
          "TJ01 193007.5 14: - 6 -", "TJ02 193007.5 -: - 8 0", "TJ02 193007.5 -: - 0 -"},
         {repeated}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        run(c.missing, LayoutStyle::Visits);
        EXPECT_EQ(points(state), c.points);
        EXPECT_EQ(ui.messages, c.messages);
    }
    EXPECT_EQ(repeatedParameterMessage(1, 1),
              "1 visit measured a parameter more than once: 1 further point at the same station, date and hour "
              "holds the repeated value");
}

// Names that differ only in case take turns in the name order, so one name may own two columns:
// its value stands in both, on the point of its place in the visit.
TEST_F(VisitLayoutTest, ANameWithTwoColumnsFillsBoth) {
    fixture.rows = {visitRow("ph", "TJ01", 9, 1), visitRow("PH", "TJ01", 9, 2), visitRow("ph", "TJ01", 9, 3)};
    database = fixture.write();
    run(MissingStyle::Null, LayoutStyle::Visits);
    EXPECT_EQ(state.NumericAttributes, (std::vector<std::string>{"", "SampleHour", "ph", "PH", "ph"}));
    EXPECT_EQ(points(state), (std::vector<std::string>{"TJ01 193007.5 9: 1 2 1", "TJ01 193007.5 9: 3 - 3"}));
}

// Texts, coordinates, date and hour each tell visits apart; the other columns do not.
TEST_F(VisitLayoutTest, EveryPartOfTheVisitCounts) {
    struct Case {
        const char* name;
        void (*change)(QueryRow& first, QueryRow& second);
        std::size_t points;
    } cases[] = {
        {"nothing", [](QueryRow&, QueryRow&) {}, 1},
        {"the code", [](QueryRow&, QueryRow& r) { r.ParameterCode = std::string("b"); }, 1},
        {"the normal coordinates", [](QueryRow&, QueryRow& r) { r.Latitude = 0.0; }, 1},
        {"no hour twice", [](QueryRow& a, QueryRow& b) { a.SampleHour = b.SampleHour = Cell{}; }, 1},
        {"the name", [](QueryRow&, QueryRow& r) { r.Name = std::string("Seixal"); }, 2},
        {"the tide", [](QueryRow&, QueryRow& r) { r.TidalSituation = Cell{}; }, 2},
        {"the longitude", [](QueryRow&, QueryRow& r) { r.MilitaryLongitude = 0.5; }, 2},
        {"the time of the date", [](QueryRow&, QueryRow& r) { r.SampleDate = std::string("2001-03-07 10:00"); }, 2},
        {"the hour", [](QueryRow&, QueryRow& r) { r.SampleHour = 10.25; }, 2},
        {"hour 0 and no hour", [](QueryRow& a, QueryRow& b) { a.SampleHour = 0.0, b.SampleHour = Cell{}; }, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fixture.rows = {visitRow("A", "TJ01", 10.5, 1), visitRow("B", "TJ01", 10.5, 2)};
        c.change(fixture.rows[0], fixture.rows[1]);
        database = fixture.write();
        run(MissingStyle::Null, LayoutStyle::Visits);
        EXPECT_EQ(state.TotalRecords, c.points);
    }
}
