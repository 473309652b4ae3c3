// Kernel/Binding.cpp: the destructuring binding forms.
#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Persist.h"
#include "Kernel/Symbol.h"

#include <string_view>

namespace {

Value part(Value& list, Value form)
{
    if (!isPair(list))
        raiseWrongType(form);
    Value v = car(list);
    list = cdr(list);
    return v;
}

void assignTarget(Value target, Value value)
{
    if (tagOf(target) == Tag::Variable)
        *variableSlot(target) = value;
    else if (isSymbol(target))
        setSymbolValue(target, value);
    else
        raiseWrongType(target);
}

void destructure(Value pattern, Value value)
{
    checkCStack();
    while (isPair(pattern)) {
        destructure(car(pattern), isPair(value) ? car(value) : kNil);
        pattern = cdr(pattern);
        value = isPair(value) ? cdr(value) : kNil;
    }
    if (pattern != kNil)
        assignTarget(pattern, value);
}

Value bindForm(Value args)
{
    Value pattern = part(args, args);
    Value value = eval(part(args, args));
    destructure(pattern, value);
    return evalBody(args);
}

Value targetName(Value target)
{
    return tagOf(target) == Tag::Variable ? cdr(target) : target;
}

Value bindKeywords(Value args)
{
    Value targets = part(args, args);
    Value plist = eval(part(args, args));
    for (Value p = plist; p != kNil; p = cdr(cdr(p)))
        if (!isPair(p) || !isPair(cdr(p)))
            raiseWrongType(p);
    for (; isPair(targets); targets = cdr(targets)) {
        Value entry = car(targets);
        Value target = isPair(entry) ? car(entry) : entry;
        Value name = targetName(target);
        if (!isSymbol(name))
            raiseWrongType(target);
        std::string wanted = symbolName(name);
        Value value = kNoValue;
        for (Value p = plist; isPair(p); p = cdr(cdr(p))) {
            Value key = car(p);
            if (isSymbol(key) && std::string_view(symbolName(key)).substr(1) == wanted && symbolName(key)[0] != 0) {
                value = car(cdr(p));
                break;
            }
        }
        if (value == kNoValue)
            value = isPair(entry) && isPair(cdr(entry)) ? eval(car(cdr(entry))) : kNil;
        assignTarget(target, value);
    }
    return evalBody(args);
}

Value bindOptionals(Value args)
{
    Value targets = part(args, args);
    Value values = eval(part(args, args));
    for (; isPair(targets); targets = cdr(targets)) {
        Value entry = car(targets);
        Value target = isPair(entry) ? car(entry) : entry;
        Value value;
        if (isPair(values)) {
            value = car(values);
            values = cdr(values);
        } else {
            value = isPair(entry) && isPair(cdr(entry)) ? eval(car(cdr(entry))) : kNil;
        }
        assignTarget(target, value);
    }
    return evalBody(args);
}

// (bind-properties (var ...) body ...): each variable takes the current object's property of the
// same name, as search-property answers it.
Value bindProperties(Value args)
{
    Value vars = part(args, args);
    for (; isPair(vars); vars = cdr(vars)) {
        Value target = car(vars);
        Value name = targetName(target);
        if (!isSymbol(name))
            raiseWrongType(target);
        assignTarget(target, searchProperty(name));
    }
    if (vars != kNil)
        raiseWrongType(vars);
    return evalBody(args);
}

class BindingModule final : public Module {
public:
    BindingModule() : Module("Binding") {}
    void start() override
    {
        Module::start();
        defineSpecialForm("bind", bindForm);
        defineSpecialForm("bind-keywords", bindKeywords);
        defineSpecialForm("bind-optionals", bindOptionals);
        defineSpecialForm("bind-properties", bindProperties);
    }
} bindingModule;

} // namespace
