// registerJetFunctions: every family of Jet functions on one SQLite handle, with the two that
// belong to no family (Like under SQLite's own name, and the check of a subquery used as a value).

#include <optional>
#include <string>

#include "jet/JetFunctions.h"
#include "jet/functions/JetValues.h"
#include "sqlite/DatabaseError.h"

namespace pontrel::data {

void registerJetFunctions(SqliteDatabase& db) {
    using jetfn::Args;
    db.createFunction("like", 2, [](const Args& a) {
        // SQLite passes the pattern first: "x LIKE p" calls like(p, x).
        if (a[0].isNull() || a[1].isNull()) return SqlValue::null();
        std::optional<std::string> text = jetfn::toText(a[1], "Like");
        std::optional<std::string> pattern = jetfn::toText(a[0], "Like");
        return SqlValue::ofInteger(jetLike(*text, *pattern) ? 1 : 0);
    });
    db.createFunction("jet_at_most_one", 1, [](const Args& a) {
        if (a[0].number() > 1) throw DatabaseError("A subquery used as a value gave more than one row");
        return SqlValue::null();
    });
    jetfn::registerTextFunctions(db);
    jetfn::registerNumberFunctions(db);
    jetfn::registerConversionFunctions(db);
    jetfn::registerDateFunctions(db);
    jetfn::registerFormatFunction(db);
}

}  // namespace pontrel::data
