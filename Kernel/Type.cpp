// Kernel/Type.cpp: type-of and type?.
#include "Kernel/Error.h"
#include "Kernel/Module.h"
#include "Kernel/Symbol.h"
#include "Kernel/Type.h"

namespace {

Value gTypeNames[64];
// Set by the object system: the name of an object's class, and whether an object belongs to a class.
Value (*gClassNameOf)(Value object) = nullptr;
bool (*gInheritsFrom)(Value object, Value className) = nullptr;
Value gObjectSym, gClassSym, gInstanceSym;

Value typeOf(Value x)
{
    uint32_t tag = tagOf(x);
    if (tag == Tag::Instance || tag == Tag::Class) {
        if (x == kNoObject)
            return x;
        if (gClassNameOf)
            return gClassNameOf(x);
        raiseWrongType(x);
    }
    Value name = gTypeNames[tag];
    if (!name)
        raiseWrongType(x);
    return name;
}

Value typeP(Value x, Value type)
{
    uint32_t tag = tagOf(x);
    if (type == kTrue)
        return kTrue;
    if (type == gObjectSym)
        return boolValue(tag == Tag::Class || tag == Tag::Instance);
    if (type == gClassSym)
        return boolValue(tag == Tag::Class);
    if (type == gInstanceSym)
        return boolValue(tag == Tag::Instance);
    if ((tag == Tag::Class || tag == Tag::Instance) && x != kNoObject && gInheritsFrom)
        return boolValue(gInheritsFrom(x, type));
    return boolValue(typeOf(x) == type);
}

class TypeModule final : public Module {
public:
    TypeModule() : Module("Type") {}
    void start() override
    {
        Module::start();
        const struct {
            uint32_t tag;
            const char* name;
        } names[] = {
            { Tag::Address, "address" }, { Tag::Integer, "integer" }, { Tag::Real, "real" },
            { Tag::Variable, "variable" }, { Tag::NoValue, "no-value" }, { Tag::Vector, "vector" },
            { Tag::String, "string" }, { Tag::Symbol, "symbol" }, { Tag::Syntax, "syntax" },
            { Tag::Function, "function" }, { Tag::Primitive, "primitive" }, { Tag::Special, "special" },
            { Tag::Predicate, "predicate" }, { Tag::HashTable, "hash-table" }, { Tag::Lexical, "lexical" },
            { Tag::Gamma, "gamma" }, { Tag::Rational, "rational" }, { Tag::Pointer, "pointer" },
            { Tag::Closed, "closed" }, { Tag::BigPositive, "big-integer" }, { Tag::BigNegative, "big-integer" },
            { Tag::List, "list" },
        };
        for (auto& n : names)
            gTypeNames[n.tag] = intern(n.name);
        Value keyword = intern("keyword");
        for (uint32_t tag = Tag::FirstSpecialForm; tag <= Tag::LastSpecialForm; ++tag)
            if (isSpecialFormTag(tag))
                gTypeNames[tag] = keyword;
        gObjectSym = intern("object");
        gClassSym = intern("class");
        gInstanceSym = intern("instance");
        defineFunction1("type-of", typeOf);
        defineFunction2("type?", typeP);
    }
} typeModule;

} // namespace

void setObjectTypeHooks(Value (*classNameOf)(Value), bool (*inheritsFrom)(Value, Value))
{
    gClassNameOf = classNameOf;
    gInheritsFrom = inheritsFrom;
}

bool typeMatches(Value x, Value type) { return typeP(x, type) != kNil; }
Value typeName(Value x) { return typeOf(x); }
