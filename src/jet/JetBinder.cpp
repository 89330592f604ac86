#include "jet/JetBinder.h"

#include "common/TextBasics.h"
#include "jet/JetSql.h"

namespace pontrel::data::jet {

Binding bindRelation(const std::string& relation, const std::string& key, JetSchema* schema) {
    Binding b;
    b.relation = relation;
    b.key = key;
    if (schema) {
        if (std::optional<JetSchema::Relation> r = schema->relation(relation)) {
            b.known = true;
            b.columns = r->columns;
        }
    }
    return b;
}

const Binding* findBinding(const std::string& key, const Scope& scope) {
    for (const Scope* s = &scope; s; s = s->outer)
        for (const Binding& b : s->bindings)
            if (sameNameIgnoringCase(b.key, key)) return &b;
    return nullptr;
}

const JetSchema::Column* columnOf(const Binding& b, const std::string& name) {
    for (const JetSchema::Column& c : b.columns)
        if (sameNameIgnoringCase(c.name, name)) return &c;
    return nullptr;
}

JetType columnType(const std::string& name, const std::optional<std::string>& qualifier, const Scope& scope) {
    if (qualifier) {
        const Binding* b = findBinding(*qualifier, scope);
        if (b)
            if (const JetSchema::Column* c = columnOf(*b, name)) return c->type;
        return JetType::Unknown;
    }
    for (const Scope* s = &scope; s; s = s->outer)
        for (const Binding& b : s->bindings)
            if (const JetSchema::Column* c = columnOf(b, name)) return c->type;
    return JetType::Unknown;
}

bool expandStar(const std::optional<std::string>& qualifier, const Scope& scope, std::vector<Output>& outputs) {
    std::vector<const Binding*> sources;
    if (!qualifier) {
        for (const Binding& b : scope.bindings) sources.push_back(&b);
    } else {
        const Binding* b = findBinding(*qualifier, scope);
        if (!b) return false;
        sources.push_back(b);
    }
    for (const Binding* b : sources) {
        if (!b->known) return false;
        for (const JetSchema::Column& c : b->columns) {
            Output o;
            o.text = " " + quotedIdentifier(relationName(b->key)) + "." + quotedIdentifier(c.name);
            o.name = c.name;
            o.qualifier = b->key;
            o.type = c.type;
            outputs.push_back(o);
        }
    }
    return true;
}

}  // namespace pontrel::data::jet
