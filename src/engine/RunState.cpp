#include "engine/RunState.h"

namespace pontrel {

std::string connectionStringFor(const std::string& file) {
    return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source = '" + file + "' ;Persist Security Info=False";
}

void openConnection(RunState& state) {
    state.ConnectionFile = state.DataSourceFile;
    state.DBConnection = std::make_shared<data::Connection>(connectionStringFor(state.ConnectionFile));
}

}  // namespace pontrel
