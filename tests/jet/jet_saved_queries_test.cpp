// Saved queries of real Access files that use the Jet dialect (CCur, backtick names, Yes/No
// constants, DISTINCTROW, DatePart, scalar subqueries), loaded as views and read. The expected
// values were worked out from the tables' rows as mdbtools exports them.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <set>

#include "source/SourceDatabase.h"
#include "common/TextBasics.h"
#include "jet/WorkingDatabase.h"
#include "SqlRows.h"

namespace fs = std::filesystem;
using namespace pontrel::data;

namespace {

const fs::path kWild = fs::path(PONTREL_SHARED_REFERENCE) / "access-wild";

// The rows of a saved query, each column's text joined by '|'.
class SavedQueryRows {
public:
    explicit SavedQueryRows(const std::string& file) : source_(openSourceDatabase((kWild / file).string())) {}

    std::vector<std::string> rows(const std::string& query) {
        WorkingDatabase work;
        EXPECT_TRUE(source_->load(query, work)) << query;
        SqliteStatement statement = work.sql().prepare("SELECT * FROM " + quotedIdentifier(query));
        return pontrel::testing::rowsOf(statement, "");
    }

    // The names of the view's columns, as a program reading the query sees them.
    std::vector<std::string> columns(const std::string& query) {
        WorkingDatabase work;
        EXPECT_TRUE(source_->load(query, work)) << query;
        SqliteStatement statement = work.sql().prepare("SELECT * FROM " + quotedIdentifier(query));
        std::vector<std::string> names;
        for (int i = 0; i < statement.columnCount(); ++i) names.push_back(statement.columnName(i));
        return names;
    }

    // The second column by the first, for queries keyed by their first column.
    std::map<std::string, double> numbersByKey(const std::string& query) {
        std::map<std::string, double> out;
        for (const std::string& row : rows(query)) {
            std::size_t bar = row.find('|');
            out[row.substr(0, bar)] = std::stod(row.substr(bar + 1));
        }
        return out;
    }

private:
    std::unique_ptr<SourceDatabase> source_;
};

#define REQUIRE_FILE(name) \
    if (!fs::exists(kWild / name)) GTEST_SKIP() << "no reference file " << (kWild / name)

TEST(JetSavedQueries, NorthwindJet4) {
    REQUIRE_FILE("logue-Northwind.mdb");
    SavedQueryRows file("logue-Northwind.mdb");

    // Sum(CCur(UnitPrice * Quantity * (1 - Discount) / 100) * 100): order 10250 has lines of
    // 77, 1261.3999... and 214.1999..., which CCur rounds to 1261.4 and 214.2.
    std::map<std::string, double> subtotals = file.numbersByKey("Order Subtotals");
    EXPECT_EQ(subtotals.size(), 830u);
    EXPECT_NEAR(subtotals["10248"], 440.0, 1e-9);
    EXPECT_NEAR(subtotals["10250"], 1552.6, 1e-9);

    // WHERE Discontinued <> Yes: 68 of the 77 products are not discontinued.
    EXPECT_EQ(file.rows("Products by Category").size(), 68u);

    // A scalar subquery: 25 products cost more than the average of 28.87.
    std::vector<std::string> above = file.rows("Products Above Average Price");
    ASSERT_EQ(above.size(), 25u);
    EXPECT_EQ(above.front(), "Côte de Blaye|263.5");

    // DISTINCTROW over orders, customers and the subtotals query: 66 orders shipped in 1997
    // for more than 2,500.
    EXPECT_EQ(file.rows("Sales Totals by Amount").size(), 66u);

    // "Qtr " & DatePart("q", ShippedDate)
    std::set<std::string> quarters;
    for (const std::string& row : file.rows("Product Sales for 1997")) quarters.insert(row.substr(row.rfind('|') + 1));
    EXPECT_EQ(quarters, (std::set<std::string>{"Qtr 1", "Qtr 2", "Qtr 3", "Qtr 4"}));
}

TEST(JetSavedQueries, NorthwindAccessWithBackticks) {
    REQUIRE_FILE("efcorejet-Northwind.accdb");
    SavedQueryRows file("efcorejet-Northwind.accdb");
    // `Order Details` names and CCur: every order line is on an invoice, and order 10248's
    // three lines add to 440.
    EXPECT_EQ(file.rows("Invoices").size(), 2155u);
    EXPECT_NEAR(file.numbersByKey("Order Subtotals")["10248"], 440.0, 1e-9);
}

}  // namespace

namespace {

// Invoices joins Orders, Customers, Employees, Shippers, Order Details and Products in nested
// joins. Its columns are named by their fields, by Table.Field where two shown columns share a
// name (the Jet 4 file leaves both CompanyName columns unnamed), and by their aliases.
std::vector<std::string> invoiceColumns(const std::string& customer, const std::string& shipper) {
    return {"ShipName", "ShipAddress", "ShipCity", "ShipRegion", "ShipPostalCode", "ShipCountry", "CustomerID",
            customer, "Address", "City", "Region", "PostalCode", "Country", "Salesperson", "OrderID", "OrderDate",
            "RequiredDate", "ShippedDate", shipper, "ProductID", "ProductName", "UnitPrice", "Quantity", "Discount",
            "ExtendedPrice", "Freight"};
}

TEST(JetSavedQueries, InvoicesKeepAccesssColumnNames) {
    REQUIRE_FILE("logue-Northwind.mdb");
    REQUIRE_FILE("efcorejet-Northwind.accdb");
    EXPECT_EQ(SavedQueryRows("logue-Northwind.mdb").columns("Invoices"),
              invoiceColumns("Customers.CompanyName", "Shippers.CompanyName"));
    EXPECT_EQ(SavedQueryRows("efcorejet-Northwind.accdb").columns("Invoices"),
              invoiceColumns("CustomerName", "ShipperName"));
}

}  // namespace
