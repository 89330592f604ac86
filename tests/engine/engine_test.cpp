#include <gtest/gtest.h>

#include <algorithm>

#include <clocale>
#include <cmath>
#include <set>

#include "FakeUserInterface.h"
#include "VessamoFixture.h"
#include "sqlite/DatabaseError.h"
#include "engine/Errors.h"
#include "engine/NumberReading.h"
#include "engine/ReadFiles.h"

using namespace pontrel;
using pontrel::testing::Cell;
using pontrel::testing::kHourMessage;
using pontrel::testing::FakeUserInterface;
using pontrel::testing::QueryRow;
using pontrel::testing::VessamoFixture;

namespace {

const std::string kMilitaryMessage =
    "Some Points haven't Military Coordinates defined. Correct this fault directly on Database\n"
    "Stations without them: Cais do Sodré.\nTheir rows have Normal Coordinates: choosing those would do.";

std::string text(const char* s) { return s; }

class ReadSamplesTest : public ::testing::Test {
protected:
    void SetUp() override {
        data::Connection::setExecuteObserver([this](const std::string& sql) { executed.push_back(sql); });
    }
    void TearDown() override { data::Connection::setExecuteObserver(nullptr); }

    // Runs the extraction; true when it stopped on the data.
    bool run(const std::string& mode, const std::string& coordinates = kMilitary) {
        state.DataSourceFile = fixture.write();
        state.ShapeType = mode;
        state.CoordinatesType = coordinates;
        try {
            ReadSamples(state, ui);
        } catch (const ConversionStopped&) {
            return true;
        }
        return false;
    }

    std::vector<std::string> numericFields() const {
        std::vector<std::string> out{state.NumericAttributes[1]};
        for (int k = 2; k <= state.NumericAttributeCount; ++k) out.push_back(state.NumericAttributeFields[k]);
        return out;
    }

    VessamoFixture fixture;
    RunState state;
    FakeUserInterface ui;
    std::vector<std::string> executed;
};

QueryRow row(const char* name, const char* code, const char* date, double value) {
    QueryRow r;
    r.ParameterName = text(name);
    r.ParameterCode = text(code);
    r.SampleDate = text(date);
    r.Value = value;
    return r;
}

}  // namespace

TEST(NumberReading, LeadingNumberRule) {
    struct Case {
        const char* text;
        double value;
    } cases[] = {
        {"0.125", 0.125}, {"12.5 mg", 12.5}, {"12,5", 12},   {"1 234", 1234}, {"", 0},
        {"mg", 0},        {"&H1F", 31},      {"&hff", 255},  {"&O17", 15},    {"&O9", 0},
        {"-3.5e2", -350}, {"1.5D1", 15},     {" - 4", -4},   {"1.2.3", 1.2},  {"1e", 1},
        {".5", 0.5},      {"+", 0},          {"\t7\r\n", 7}, {"2E+2x", 200},  {"-", 0},
    };
    for (const Case& c : cases) EXPECT_DOUBLE_EQ(leadingNumber(c.text), c.value) << c.text;
}

TEST(NumberReading, RoundsToTwoDecimalsOnTheShortestForm) {
    struct Case {
        double in, out;
    } cases[] = {
        {0.125, 0.12}, {0.375, 0.38},   {2.675, 2.68}, {1.005, 1.0},   {-0.125, -0.12},
        {12.5, 12.5},  {38.70743, 38.71}, {1e20, 1e20}, {0.001, 0},    {0.005, 0},
        {0.015, 0.02}, {99.995, 100},   {-1, -1},      {123456789.125, 123456789.12},
        // Around the limit of the shortcut for values that already have two decimals.
        {999999999.99, 999999999.99}, {1000000000.01, 1000000000.01}, {999999999.995, 1000000000},
        {1000000000.125, 1000000000.12}, {-0.1, -0.1}, {8.48, 8.48}, {0.07, 0.07}, {1e-300, 0},
    };
    for (const Case& c : cases) EXPECT_DOUBLE_EQ(roundTo2Decimals(c.in), c.out) << c.in;
    EXPECT_TRUE(std::signbit(roundTo2Decimals(-0.0)));
    EXPECT_TRUE(std::signbit(roundTo2Decimals(-0.001)));
}

TEST(SqlDateText, IsMonthFirstWhateverTheLocale) {
    const char* saved = std::setlocale(LC_ALL, nullptr);
    std::string restore = saved ? saved : "C";
    for (const char* locale : {"C", "pt_PT.UTF-8", "de_DE.UTF-8", "C.UTF-8"}) {
        std::setlocale(LC_ALL, locale);
        EXPECT_EQ(SqlDateText(36957), "03-07-2001");
        EXPECT_EQ(SqlDateText(36957.99), "03-07-2001");
        EXPECT_EQ(SqlDateText(data::dateFromCivil({1850, 12, 1})), "12-01-1850");
    }
    std::setlocale(LC_ALL, restore.c_str());
}

TEST_F(ReadSamplesTest, ParameterModeSendsItsQueriesAndReadsEveryRow) {
    fixture.rows = {row("Temperatura", "T", "2001-03-08", 13.125), row("pH", "pH", "2001-03-07", 8.1),
                    row("Temperatura", "T", "2001-03-07", 12.375)};
    fixture.rows[0].Latitude = 38.70743;
    state.SelectedParameter = "temperatura";  // names match without regard to case
    ASSERT_FALSE(run(kParameterMode, kNormal));
    EXPECT_EQ(executed, (std::vector<std::string>{
                            "Select * from Kelvash_Query WHERE (ParameterName = 'temperatura')  ORDER BY SampleDate ",
                            "Select Count(*) As CountTotalRecords FROM Kelvash_Query Where (ParameterName = 'temperatura')"}));
    EXPECT_EQ(state.TotalRecords, 2u);
    EXPECT_EQ(numericFields(), (std::vector<std::string>{"SampleHour", "Param_T"}));
    EXPECT_EQ(state.NumericAttributes[2], "temperatura");
    EXPECT_EQ(state.StringAttributes, (std::vector<std::string>{"", "CurrentName", "Name", "TidalSituation"}));
    EXPECT_EQ(state.DateAttributes, (std::vector<std::string>{"", "SampleDate"}));
    // Date order; values rounded, coordinates at full precision.
    EXPECT_DOUBLE_EQ(state.NumericValues(1, 2), 12.38);
    EXPECT_DOUBLE_EQ(state.NumericValues(2, 2), 13.12);
    EXPECT_DOUBLE_EQ(state.Latitudes[2], 38.70743);
    EXPECT_DOUBLE_EQ(state.Longitudes[2], -9.13561);
    EXPECT_DOUBLE_EQ(state.NumericValues(1, 1), 10.5);
    EXPECT_DOUBLE_EQ(state.DateValues(1, 1), 36957);
    EXPECT_EQ(state.StringValues(1, 2), "Cais do Sodré");
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ReadSamplesTest, MessagesComeOncePerKindInRowOrder) {
    for (int i = 0; i < 7; ++i) fixture.rows.push_back(row("T", "T", "2001-03-07", i));
    for (int i = 0; i < 7; ++i) fixture.rows[i].SampleDate = "2001-03-" + std::to_string(10 + i);
    fixture.rows[2].SampleHour = Cell{};
    fixture.rows[6].SampleHour = Cell{};
    fixture.rows[1].Name = Cell{};
    fixture.rows[4].Name = Cell{};
    fixture.rows[3].TidalSituation = Cell{};
    state.SelectedParameter = "T";
    ASSERT_FALSE(run(kParameterMode));
    EXPECT_EQ(ui.messages,
              (std::vector<std::string>{
                  "String Attribute Name has some null fields. These samples will be considered = 'unknown'",
                  kHourMessage,
                  "String Attribute TidalSituation has some null fields. These samples will be considered = 'unknown'"}));
    EXPECT_EQ(state.NumericValues(3, 1), -1);
    EXPECT_EQ(state.NumericValues(7, 1), -1);
    EXPECT_EQ(state.HourlessSamples, 2u);
    EXPECT_EQ(state.StringValues(2, 2), "Unknown");
    EXPECT_EQ(state.StringValues(5, 2), "Unknown");
    EXPECT_EQ(state.StringValues(4, 3), "Unknown");
    EXPECT_EQ(state.StringValues(3, 2), "Cais do Sodré");
}

TEST_F(ReadSamplesTest, AMissingCoordinateStopsAtItsRow) {
    for (int i = 0; i < 6; ++i) {
        fixture.rows.push_back(row("T", "T", "2001-03-07", i));
        fixture.rows.back().SampleDate = "2001-03-" + std::to_string(10 + i);
    }
    fixture.rows[4].MilitaryLongitude = Cell{};
    fixture.rows[5].SampleHour = Cell{};
    state.SelectedParameter = "T";
    EXPECT_TRUE(run(kParameterMode, kMilitary));
    EXPECT_EQ(ui.messages, std::vector<std::string>{kMilitaryMessage});
    EXPECT_DOUBLE_EQ(state.Latitudes[4], 193007.5);
    EXPECT_DOUBLE_EQ(state.NumericValues(4, 2), 3);
    EXPECT_EQ(state.NumericValues(5, 2), 0);

    // Normal coordinates are read from their own pair; the military gap does not matter there.
    ui.messages.clear();
    EXPECT_FALSE(run(kParameterMode, kNormal));
    fixture.rows[2].Latitude = Cell{};
    EXPECT_TRUE(run(kParameterMode, kNormal));
    EXPECT_EQ(ui.messages.back(),
              "Some Points haven't Coordinates defined. Correct this fault directly on Database\n"
              "Stations without them: Cais do Sodré.\nTheir rows have Military Coordinates: choosing those would do.");

    // The message names the stations, and says when the other type is missing too.
    fixture.rows[2].MilitaryLatitude = Cell{};
    fixture.rows[2].Name = text("Seixal");
    EXPECT_TRUE(run(kParameterMode, kMilitary));
    EXPECT_EQ(ui.messages.back(),
              "Some Points haven't Military Coordinates defined. Correct this fault directly on Database\n"
              "Stations without them: Seixal, Cais do Sodré.\nSome of their rows lack Normal Coordinates too.");
}

TEST_F(ReadSamplesTest, MissingValuesDatesAndSelectionsStopTheConversion) {
    fixture.rows = {row("T", "T", "2001-03-07", 1)};
    fixture.rows[0].Value = Cell{};
    state.SelectedParameter = "T";
    EXPECT_TRUE(run(kParameterMode));
    EXPECT_EQ(ui.messages.back(), "Some samples haven't a value defined. Correct this fault directly on Database");

    fixture.rows[0].Value = 1.0;
    fixture.rows[0].SampleDate = Cell{};
    EXPECT_TRUE(run(kParameterMode));
    EXPECT_EQ(ui.messages.back(), "Some samples haven't a date defined. Correct this fault directly on Database");

    state.SelectedParameter = "Nitratos";
    EXPECT_TRUE(run(kParameterMode));
    EXPECT_EQ(ui.messages.back(), "There are no samples of the parameter 'Nitratos' in the database\nThe file '" +
                                      state.DataSourceFile + "' has no sample of it: choose another parameter.");
}

TEST_F(ReadSamplesTest, NumbersStoredAsTextGoThroughTheLeadingNumberRule) {
    fixture.rows = {row("T", "T", "2001-03-07", 0), row("T", "T", "2001-03-08", 0), row("T", "T", "2001-03-09", 12.5)};
    fixture.rows[0].Value = text("12,5");
    fixture.rows[1].Value = text("12.5 mg");
    fixture.rows[0].SampleHour = std::int64_t{9};
    fixture.rows[1].SampleHour = text(" 9.125h");
    fixture.rows[0].MilitaryLatitude = text("193007.123 m");
    state.SelectedParameter = "T";
    ASSERT_FALSE(run(kParameterMode));
    EXPECT_DOUBLE_EQ(state.NumericValues(1, 2), 12);
    EXPECT_DOUBLE_EQ(state.NumericValues(2, 2), 12.5);
    EXPECT_DOUBLE_EQ(state.NumericValues(3, 2), 12.5);
    EXPECT_DOUBLE_EQ(state.NumericValues(1, 1), 9);
    EXPECT_DOUBLE_EQ(state.NumericValues(2, 1), 9.12);
    EXPECT_DOUBLE_EQ(state.Latitudes[1], 193007.123);
}

TEST_F(ReadSamplesTest, DayModeLaysOutOneColumnPerParameterInNameOrder) {
    fixture.rows = {row("C", "X", "2001-03-07", 3), row("A", "X", "2001-03-07", 1),
                    row("B", "", "2001-03-07", 2),  row("A", "Y", "2001-03-07", 4),
                    row("Z", "Z", "2001-03-08", 9), row("D", "D", "2001-03-07", 5)};
    fixture.rows[2].ParameterCode = Cell{};
    fixture.rows[5].ParameterName = Cell{};
    state.SelectedDay = 36957.75;  // the time of day is not part of the selection
    ASSERT_FALSE(run(kDayMode));
    const std::string select =
        "Select * from Kelvash_Query WHERE (SampleDate >= #03-07-2001# And SampleDate < #03-08-2001# )  "
        "ORDER BY ParameterName ";
    // The selection runs once: its rows are laid out and read in the same pass.
    EXPECT_EQ(executed, (std::vector<std::string>{
                            select,
                            "Select Count(*) As CountTotalRecords FROM Kelvash_Query Where (SampleDate >= "
                            "#03-07-2001# And SampleDate < #03-08-2001#)"}));
    EXPECT_EQ(state.TotalRecords, 5u);
    // Duplicate codes and a null code pass through unchanged; a null name gets no column.
    EXPECT_EQ(numericFields(), (std::vector<std::string>{"SampleHour", "Param_X", "Param_", "Param_X"}));
    EXPECT_EQ(state.NumericAttributes[2], "A");
    EXPECT_EQ(state.NumericAttributes[4], "C");
    // Row order is by name (the null name first); each row's value stands in its own column only.
    double expected[5][4] = {{0, 0, 0, 0}, {0, 1, 0, 0}, {0, 4, 0, 0}, {0, 0, 2, 0}, {0, 0, 0, 3}};
    for (std::size_t r = 1; r <= 5; ++r)
        for (std::size_t k = 2; k <= 4; ++k)
            EXPECT_DOUBLE_EQ(state.NumericValues(r, k), expected[r - 1][k - 1]) << r << "," << k;
}

TEST_F(ReadSamplesTest, DayModeTakesEverySampleOfTheCalendarDay) {
    // Times across the day, the bounds on either side, and a date held as a text column.
    for (const char* type : {"DATE", "TEXT"}) {
        fixture.sampleDateType = type;
        fixture.rows = {row("A", "A", "2001-03-06 23:59:59", 1), row("A", "A", "2001-03-07", 2),
                        row("B", "B", "2001-03-07 10:30", 3),    row("A", "A", "2001-03-07T23:59:59", 4),
                        row("B", "B", "2001-03-08", 5)};
        state.SelectedDay = 36957;
        ASSERT_FALSE(run(kDayMode)) << type;
        ASSERT_EQ(state.TotalRecords, 3u) << type;
        EXPECT_EQ(numericFields(), (std::vector<std::string>{"SampleHour", "Param_A", "Param_B"}));
        EXPECT_DOUBLE_EQ(state.NumericValues(1, 2), 2);
        EXPECT_DOUBLE_EQ(state.NumericValues(2, 2), 4);
        EXPECT_DOUBLE_EQ(state.NumericValues(3, 3), 3);
        EXPECT_DOUBLE_EQ(state.DateValues(3, 1), 36957.4375) << type;  // the time is kept
        // Parameter mode reads the same column as dates, in date order.
        state.SelectedParameter = "B";
        ASSERT_FALSE(run(kParameterMode)) << type;
        ASSERT_EQ(state.TotalRecords, 2u);
        EXPECT_DOUBLE_EQ(state.DateValues(1, 1), 36957.4375);
        EXPECT_DOUBLE_EQ(state.DateValues(2, 1), 36958);
    }
}

TEST_F(ReadSamplesTest, TheDayEndsAtTheNextMidnightAcrossMonthsYearsAndLeapDays) {
    // Before 30 December 1899 a date's time is a positive fraction of a negative day count
    // (29 December 06:00 is -1.25), so such a day runs down from its midnight; day 0 has its
    // times on both sides of 0.
    struct Case {
        data::CivilTime day;
        const char* range;
    } cases[] = {
        {{2000, 12, 31, 18, 0, 0}, "SampleDate >= #12-31-2000# And SampleDate < #01-01-2001#"},
        {{2024, 2, 28}, "SampleDate >= #02-28-2024# And SampleDate < #02-29-2024#"},
        {{2023, 2, 28}, "SampleDate >= #02-28-2023# And SampleDate < #03-01-2023#"},
        {{1899, 12, 31}, "SampleDate >= #12-31-1899# And SampleDate < #01-01-1900#"},
        {{1899, 12, 30, 6, 0, 0}, "SampleDate > #12-29-1899# And SampleDate < #12-31-1899#"},
        {{1899, 12, 29, 6, 0, 0}, "SampleDate <= #12-29-1899# And SampleDate > #12-28-1899#"},
        {{1850, 6, 15, 18, 0, 0}, "SampleDate <= #06-15-1850# And SampleDate > #06-14-1850#"},
        {{100, 1, 1}, "SampleDate <= #01-01-0100#"},
        {{9999, 12, 31}, "SampleDate >= #12-31-9999#"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.range);
        executed.clear();
        state.SelectedDay = data::dateFromCivil(c.day);
        run(kDayMode);  // these days have no samples: the stop comes after the queries
        EXPECT_EQ(executed.at(1),
                  std::string("Select Count(*) As CountTotalRecords FROM Kelvash_Query Where (") + c.range + ")");
    }
}

TEST_F(ReadSamplesTest, DaysBefore1900TakeEveryTimeOfTheirDay) {
    // 29 December 1899 06:00 is stored as -1.25 and 23:59:59 as about -1.99999; the day before
    // ends where 29 December begins (-2 is 28 December 00:00).
    struct Case {
        data::CivilTime day;
        std::vector<double> kept;  // the values of the rows taken, in the rows' order
    } cases[] = {
        {{1899, 12, 29}, {2, 3, 4}},
        {{1850, 6, 15}, {6}},
        {{1899, 12, 30}, {7, 8}},
    };
    for (const char* type : {"DATE", "TEXT"}) {
        fixture.sampleDateType = type;
        fixture.rows = {row("A", "A", "1899-12-28 23:00", 1), row("A", "A", "1899-12-29 06:00", 2),
                        row("A", "A", "1899-12-29", 3),       row("A", "A", "1899-12-29 23:59:59", 4),
                        row("A", "A", "1850-06-14 18:00", 5), row("A", "A", "1850-06-15 18:00", 6),
                        row("A", "A", "1899-12-30 06:00", 7), row("A", "A", "1899-12-30 23:00", 8)};
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(type) + " " + std::to_string(c.day.year) + "-" + std::to_string(c.day.day));
            state.SelectedDay = data::dateFromCivil(c.day);
            ASSERT_FALSE(run(kDayMode));
            std::vector<double> kept;
            for (std::size_t r = 1; r <= state.TotalRecords; ++r) kept.push_back(state.NumericValues(r, 2));
            std::sort(kept.begin(), kept.end());
            EXPECT_EQ(kept, c.kept);
        }
    }
}

TEST_F(ReadSamplesTest, DayModeReadsNoValueOfARowWithAnEmptyName) {
    // The empty name opens no column, so its missing value stops nothing.
    QueryRow unnamed = row("", "X", "2001-03-07", 0);
    unnamed.Value = std::monostate{};
    fixture.rows = {unnamed, row("A", "A", "2001-03-07 10:30", 3)};
    state.SelectedDay = 36957;
    ASSERT_FALSE(run(kDayMode));
    ASSERT_EQ(state.TotalRecords, 2u);
    EXPECT_EQ(numericFields(), (std::vector<std::string>{"SampleHour", "Param_A"}));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ReadSamplesTest, ANameStoredAsANumberKeepsOneTextForm) {
    fixture.parameterNameType = "REAL";  // 7.0 is kept as a number, read as "7.0"
    fixture.rows = {row("", "P7", "2001-03-07", 1), row("", "P75", "2001-03-07", 2),
                    row("pH", "pH", "2001-03-07", 3), row("", "P7", "2001-03-07", 4)};
    fixture.rows[0].ParameterName = 7.0;
    fixture.rows[1].ParameterName = 7.5;
    fixture.rows[3].ParameterName = 7.0;
    state.SelectedDay = 36957;
    ASSERT_FALSE(run(kDayMode));
    EXPECT_EQ(numericFields(), (std::vector<std::string>{"SampleHour", "Param_P7", "Param_P75", "Param_pH"}));
    EXPECT_EQ(state.NumericAttributes[2], "7");
    EXPECT_EQ(state.NumericAttributes[3], "7.5");
    double expected[4][3] = {{1, 0, 0}, {4, 0, 0}, {0, 2, 0}, {0, 0, 3}};
    for (std::size_t r = 1; r <= 4; ++r)
        for (std::size_t k = 2; k <= 4; ++k)
            EXPECT_DOUBLE_EQ(state.NumericValues(r, k), expected[r - 1][k - 2]) << r << "," << k;
}

// A day without samples is a mistyped date, not an empty layer: the stop names the nearest days.
TEST_F(ReadSamplesTest, DayModeWithoutRowsStopsAndNamesTheNearestDays) {
    fixture.rows = {row("A", "A", "2001-03-08", 1)};
    state.SelectedDay = 36957;
    EXPECT_TRUE(run(kDayMode));
    EXPECT_EQ(state.TotalRecords, 0u);
    const std::string head = "There are no samples on the day 2001-03-07 in '" + state.DataSourceFile + "'.\n";
    EXPECT_EQ(ui.messages, std::vector<std::string>{head + "The nearest day with samples is 2001-03-08."});

    fixture.rows.push_back(row("A", "A", "2001-03-01", 1));
    EXPECT_TRUE(run(kDayMode));
    EXPECT_EQ(ui.messages.back(), head + "The nearest days with samples are 2001-03-01 and 2001-03-08.");
}

TEST_F(ReadSamplesTest, NamesThatDifferOnlyInCaseKeepTheirOwnColumns) {
    fixture.rows = {row("ph", "p1", "2001-03-07", 1), row("pH", "p2", "2001-03-07", 2), row("PH", "p3", "2001-03-07", 3)};
    state.SelectedDay = 36957;
    ASSERT_FALSE(run(kDayMode));
    EXPECT_EQ(numericFields(), (std::vector<std::string>{"SampleHour", "Param_p1", "Param_p2", "Param_p3"}));
    for (std::size_t r = 1; r <= 3; ++r)
        for (std::size_t k = 2; k <= 4; ++k) EXPECT_EQ(state.NumericValues(r, k), r + 1 == k ? double(r) : 0.0);
}

TEST_F(ReadSamplesTest, HoldsMoreRowsThanSixteenBitsCount) {
    QueryRow base = row("T", "T", "2001-03-07", 1.5);
    fixture.rows.assign(40000, base);
    fixture.rows[39999].Value = 7.25;
    state.SelectedParameter = "T";
    ASSERT_FALSE(run(kParameterMode));
    EXPECT_EQ(state.TotalRecords, 40000u);
    EXPECT_DOUBLE_EQ(state.NumericValues(40000, 2), 7.25);
    EXPECT_EQ(state.StringValues.distinctTexts(), 4u);  // "", TJ01, the name, the tide
    // The reading shows that it goes on, every 4096 rows.
    EXPECT_EQ(ui.progressUpdates, 9u);
    EXPECT_EQ(ui.progressValue, 36864);
}

TEST_F(ReadSamplesTest, AMissingQueryFieldIsNamed) {
    fixture.rows = {row("T", "T", "2001-03-07", 1)};
    std::string path = fixture.write();
    {
        data::SqliteDatabase raw(path, data::SqliteDatabase::Mode::ReadWriteCreate);
        raw.exec("ALTER TABLE Kelvash_Query DROP COLUMN TidalSituation");
    }
    state.DataSourceFile = path;
    state.ShapeType = kParameterMode;
    state.CoordinatesType = kMilitary;
    state.SelectedParameter = "T";
    try {
        ReadSamples(state, ui);
        FAIL() << "no error";
    } catch (const data::DatabaseError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "The field 'TidalSituation' does not exist in the rows of 'Select * from "
                  "Kelvash_Query WHERE (ParameterName = 'T')  ORDER BY SampleDate '");
    }
}

namespace {

const std::string kValueMessage = "Some samples haven't a value defined. Correct this fault directly on Database";
const std::string kDateMessage = "Some samples haven't a date defined. Correct this fault directly on Database";
const std::string kNameMessage =
    "String Attribute Name has some null fields. These samples will be considered = 'unknown'";
const std::string kTideMessage =
    "String Attribute TidalSituation has some null fields. These samples will be considered = 'unknown'";

// A stored row for the order tables: its date (nullptr for none), its value (which names it in
// the results) and what it lacks.
struct Stored {
    const char* date;
    double value;
    const char* lacks = "";  // letters: h hour, n Name, t TidalSituation, v value, c coordinate
    const char* code = "T";
};

QueryRow storedRow(const Stored& s) {
    QueryRow r = row("T", s.code, "", s.value);
    r.SampleDate = s.date ? Cell{text(s.date)} : Cell{};
    const std::string lacks = s.lacks;
    if (lacks.find('h') != std::string::npos) r.SampleHour = Cell{};
    if (lacks.find('n') != std::string::npos) r.Name = Cell{};
    if (lacks.find('t') != std::string::npos) r.TidalSituation = Cell{};
    if (lacks.find('v') != std::string::npos) r.Value = Cell{};
    if (lacks.find('c') != std::string::npos) r.MilitaryLongitude = Cell{};
    return r;
}

}  // namespace

// Rows stored out of date order: the points come in date order (equal dates as stored), and the
// messages and stops are those met walking that order, not the order the rows are stored in.
TEST_F(ReadSamplesTest, ParameterModeActsOnRowsInDateOrderWhateverOrderTheyAreStoredIn) {
    struct Case {
        const char* name;
        std::vector<Stored> rows;
        std::vector<double> values;  // in point order; empty when the conversion stops
        std::vector<std::string> messages;
        const char* code = "Param_T";
    } cases[] = {
        {"ties keep their stored order",
         {{"2001-03-09", 1}, {"2001-03-07", 2}, {"2001-03-08 10:00", 3}, {"2001-03-07", 4}, {"2001-03-09", 5},
          {"2001-03-08 09:59", 6}},
         {2, 4, 6, 3, 1, 5},
         {}},
        {"messages in date order",
         {{"2001-03-09", 1, "n"}, {"2001-03-08", 2, "t"}, {"2001-03-07", 3, "h"}, {"2001-03-07", 4, "nh"}},
         {3, 4, 2, 1},
         {kHourMessage, kNameMessage, kTideMessage}},
        {"a null date comes first and stops before anything is said",
         {{"2001-03-07", 1, "h"}, {"2001-03-08", 2, "n"}, {nullptr, 3}},
         {},
         {kDateMessage}},
        {"a stop hides the messages of later dates stored before it",
         {{"2001-03-09", 1, "n"}, {"2001-03-09", 2, "c"}, {"2001-03-07", 3, "t"}, {"2001-03-08", 4, "v"},
          {"2001-03-07", 5, "h"}},
         {},
         {kTideMessage, kHourMessage, kValueMessage}},
        {"within a row the hour is told before its value stops",
         {{"2001-03-08", 1, "c"}, {"2001-03-07", 2, "hvn"}},
         {},
         {kHourMessage, kValueMessage}},
        {"a missing coordinate stops before the row's other messages",
         {{"2001-03-08", 1, "v"}, {"2001-03-07", 2, "ch"}},
         {},
         {kMilitaryMessage}},
        {"texts are told before the row's missing date stops",
         {{"2001-03-07", 1}, {nullptr, 2, "t"}, {nullptr, 3, "h"}},
         {},
         {kTideMessage, kDateMessage}},
        {"the code comes from the first row in date order",
         {{"2001-03-09", 1, "", "A"}, {"2001-03-07", 2, "", "B"}, {"2001-03-07", 3, "", "C"}},
         {2, 3, 1},
         {},
         "Param_B"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fixture.rows.clear();
        for (const Stored& s : c.rows) fixture.rows.push_back(storedRow(s));
        state.SelectedParameter = "T";
        ui.messages.clear();
        const bool stopped = run(kParameterMode);
        EXPECT_EQ(stopped, c.values.empty()) << c.name;
        EXPECT_EQ(ui.messages, c.messages) << c.name;
        if (stopped) continue;
        EXPECT_EQ(numericFields(), (std::vector<std::string>{"SampleHour", c.code})) << c.name;
        ASSERT_EQ(state.TotalRecords, c.values.size()) << c.name;
        for (std::size_t r = 1; r <= c.values.size(); ++r) {
            EXPECT_EQ(state.NumericValues(r, 2), c.values[r - 1]) << c.name << " row " << r;
            // The other cells of the point come from the same stored row.
            const Stored& s = c.rows[static_cast<std::size_t>(c.values[r - 1]) - 1];
            EXPECT_EQ(state.DateValues(r, 1), *data::parseIsoDate(s.date)) << c.name << " row " << r;
            EXPECT_EQ(state.NumericValues(r, 1), std::string(s.lacks).find('h') != std::string::npos ? -1 : 10.5)
                << c.name << " row " << r;
            EXPECT_EQ(state.StringValues(r, 2),
                      std::string(s.lacks).find('n') != std::string::npos ? "Unknown" : "Cais do Sodré")
                << c.name << " row " << r;
        }
    }
}

// Many rows in a scrambled order: every cell of a point, nulls included, still comes from one
// stored row, and the points follow the dates with ties in stored order.
TEST_F(ReadSamplesTest, ScrambledRowsKeepEachPointWhole) {
    const std::size_t count = 3000;
    std::vector<int> day(count);
    for (std::size_t i = 0; i < count; ++i) {
        day[i] = static_cast<int>((i * 7919) % 37);  // 37 dates, each many times, out of order
        QueryRow r = row("T", "T", "", static_cast<double>(i));
        r.SampleDate = "2001-02-" + std::to_string(10 + day[i] % 19) + " 0" + std::to_string(day[i] / 19) + ":00";
        r.MilitaryLatitude = static_cast<double>(i) + 0.5;
        r.CurrentName = "S" + std::to_string(i % 11);
        if (i % 5 == 0) r.SampleHour = Cell{};
        fixture.rows.push_back(r);
    }
    std::vector<std::size_t> expected(count);
    for (std::size_t i = 0; i < count; ++i) expected[i] = i;
    std::stable_sort(expected.begin(), expected.end(), [&](std::size_t a, std::size_t b) {
        return std::pair(day[a] % 19, day[a] / 19) < std::pair(day[b] % 19, day[b] / 19);
    });
    state.SelectedParameter = "T";
    state.Settings.missing = MissingStyle::Null;
    ASSERT_FALSE(run(kParameterMode));
    {
        // The order SQLite's own sort gives, as a walk of its sorted rows would meet them.
        data::SqliteDatabase raw(state.DataSourceFile, data::SqliteDatabase::Mode::ReadOnly);
        data::SqliteStatement sorted = raw.prepare("SELECT Value FROM Kelvash_Query ORDER BY SampleDate");
        for (std::size_t i = 0; i < count && sorted.step(); ++i)
            ASSERT_EQ(sorted.columnDouble(0), static_cast<double>(expected[i])) << i;
    }
    ASSERT_EQ(state.TotalRecords, count);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(state.HourlessSamples, count / 5);
    for (std::size_t r = 1; r <= count; ++r) {
        const std::size_t i = expected[r - 1];
        ASSERT_EQ(state.NumericValues(r, 2), static_cast<double>(i)) << r;
        EXPECT_EQ(state.Latitudes[r], static_cast<double>(i) + 0.5) << r;
        EXPECT_EQ(state.StringValues(r, 1), "S" + std::to_string(i % 11)) << r;
        EXPECT_EQ(state.NumericNulls(r, 1), i % 5 == 0 ? 1 : 0) << r;
        EXPECT_EQ(state.NumericValues(r, 1), i % 5 == 0 ? 0 : 10.5) << r;
    }
}

// Day mode reads its rows once: the messages and stops are those of the name order.
TEST_F(ReadSamplesTest, DayModeMessagesFollowTheNameOrder) {
    struct Case {
        const char* name;
        std::vector<std::pair<const char*, const char*>> rows;  // parameter name, what it lacks
        std::vector<std::string> messages;
        bool stops;
    } cases[] = {
        {"texts then hours", {{"B", "h"}, {"A", "t"}}, {kTideMessage, kHourMessage}, false},
        {"a stop before the messages of later names", {{"C", "h"}, {"B", "v"}, {"A", "n"}}, {kNameMessage, kValueMessage}, true},
        {"a nameless row has no value to miss", {{"B", "c"}, {nullptr, "v"}, {"A", "h"}}, {kHourMessage, kMilitaryMessage}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fixture.rows.clear();
        for (const auto& [name, lacks] : c.rows) {
            QueryRow r = storedRow({"2001-03-07", 1, lacks});
            r.ParameterName = name ? Cell{text(name)} : Cell{};
            fixture.rows.push_back(r);
        }
        state.SelectedDay = 36957;
        ui.messages.clear();
        executed.clear();
        EXPECT_EQ(run(kDayMode), c.stops) << c.name;
        EXPECT_EQ(ui.messages, c.messages) << c.name;
        EXPECT_EQ(executed.size(), 2u) << c.name;
    }
}

// Rows that stay keep their cells through growth, and every row added is empty, also where rows
// were dropped before (their old cells must not come back).
TEST(AttributeMatrix, RowsKeepTheirCellsAndAddedRowsStartEmpty) {
    Matrix<double> m;
    m.resize(3, 4);
    for (std::size_t r = 0; r < 3; ++r)
        for (std::size_t c = 0; c < 4; ++c) m(r, c) = static_cast<double>(r * 10 + c + 1);
    m.resizeRows(5000);  // past the first room several times
    m.resizeRows(2);
    m.resizeRows(4);
    Matrix<double> copy = m;
    m(0, 0) = -1;
    for (const Matrix<double>* each : {&m, &copy}) {
        ASSERT_EQ(each->rows(), 4u);
        for (std::size_t c = 0; c < 4; ++c) {
            EXPECT_EQ((*each)(1, c), static_cast<double>(10 + c + 1));
            EXPECT_EQ((*each)(2, c), 0) << "a dropped row came back";
            EXPECT_EQ((*each)(3, c), 0);
        }
    }
    EXPECT_EQ(copy(0, 0), 1);
    m.resize(2, 3);
    for (std::size_t c = 0; c < 3; ++c) EXPECT_EQ(m(1, c), 0);
}

// Each distinct text is held once however often and in whatever order it is set, and every cell
// reads back its own, across the growth of the pool's index.
TEST(AttributeMatrix, TextsAreHeldOnceAndReadBackExactly) {
    TextMatrix m;
    const std::size_t rows = 20000;
    m.resize(rows, 3);
    auto textOf = [](std::size_t i) { return i % 3 == 0 ? std::string(i % 7, 'a') : "T" + std::to_string(i % 5003); };
    for (std::size_t r = 0; r < rows; ++r) {
        m.set(r, 1, textOf(r));
        m.set(r, 2, textOf(rows - r));
    }
    std::set<std::string> distinct{""};
    for (std::size_t r = 0; r <= rows; ++r) distinct.insert(textOf(r));
    EXPECT_EQ(m.distinctTexts(), distinct.size());
    for (std::size_t r = 0; r < rows; ++r) {
        ASSERT_EQ(m(r, 1), textOf(r)) << r;
        ASSERT_EQ(m(r, 2), textOf(rows - r)) << r;
        ASSERT_EQ(m(r, 0), "") << r;
    }
}
