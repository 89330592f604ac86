#include "jet/JetSql.h"

#include <cctype>

#include "jet/JetSyntax.h"
#include "jet/JetTokens.h"
#include "jet/JetTranslator.h"
#include "sqlite/Sqlite.h"
#include "common/TextBasics.h"

namespace pontrel::data {

std::string sqlQuote(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '\'';
    for (char ch : text) {
        if (ch == '\'') out += '\'';
        out += ch;
    }
    out += '\'';
    return out;
}

std::string sqlName(std::string_view name) {
    bool plain = !name.empty() && (std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_');
    for (char ch : name) plain = plain && (std::isalnum(static_cast<unsigned char>(ch)) || ch == '_');
    if (plain && !isSqlKeyword(name)) return std::string(name);
    return quotedIdentifier(name);
}

std::string relationName(std::string_view name) {
    if (name.size() >= 7 && upperAscii(name.substr(0, 7)) == "SQLITE_") return std::string(kPrivatePrefix) + std::string(name);
    return std::string(name);
}

std::string withUserNames(std::string message) {
    for (std::size_t at = message.find(kPrivatePrefix); at != std::string::npos; at = message.find(kPrivatePrefix, at))
        message.erase(at, kPrivatePrefix.size());
    return message;
}

JetType jetTypeOfDeclared(std::string_view declared) {
    std::string type = upperAscii(declared);
    auto has = [&](const char* word) { return type.find(word) != std::string::npos; };
    if (has("YESNO") || has("BOOL")) return JetType::Bool;
    if (has("DATE") || has("TIME")) return JetType::Date;
    if (has("CHAR") || has("TEXT") || has("CLOB") || has("MEMO") || has("GUID")) return JetType::Text;
    if (has("BLOB") || has("BINARY") || has("OLE")) return JetType::Binary;
    if (has("INT") || has("REAL") || has("FLOA") || has("DOUB") || has("NUM") || has("DEC") ||
        has("CURRENCY") || has("SINGLE") || has("BYTE"))
        return JetType::Number;
    return JetType::Unknown;
}

JetTranslation translateJet(std::string_view jet, const JetTranslateOptions& options) {
    jet::Messages messages(options.context);
    std::vector<jet::Token> tokens = jet::tokenize(jet, messages);
    std::unique_ptr<jet::Select> select = jet::parseStatement(tokens, messages);
    JetTranslation translation;
    jet::writeSqlite(tokens, *select, messages, options, translation);
    return translation;
}

std::string translateJetSql(std::string_view jet, std::string_view context) {
    JetTranslateOptions options;
    options.context = context;
    return translateJet(jet, options).sql;
}

}  // namespace pontrel::data
