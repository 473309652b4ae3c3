// Kernel/Define.cpp: define, which makes defined functions permanent.
#include "Kernel/Define.h"

#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Symbol.h"

namespace {
DefineHook gSlotDefiner = nullptr;
GlobalDefineHook gGlobalDefiner = nullptr;
} // namespace

void setDefineSlotHook(DefineHook hook) { gSlotDefiner = hook; }
void setGlobalDefineHook(GlobalDefineHook hook) { gGlobalDefiner = hook; }

// Sets the permanent bit on every cell v reaches. Values that cannot live in permanent cells
// (their blocks or native data are managed elsewhere) raise error 15.
void makePermanent(Value v)
{
    for (;;) {
        checkCStack();
        uint32_t tag = tagOf(v);
        switch (tag) {
        case Tag::Vector:
        case Tag::Array:
        case Tag::HashTable:
        case Tag::Pointer:
        case Tag::Instance:
        case Tag::RawBlock:
        case Tag::Record:
            raiseError(ErrorCode::NotPermanent, kNil);
        case Tag::Class:
            if (v == kNoObject)
                return;
            raiseError(ErrorCode::NotPermanent, kNil);
        case Tag::Real:
        case Tag::String:
        case Tag::Primitive:
        case Tag::Special:
            cellOf(v).car |= kPermanentBit;
            return;
        case Tag::BigPositive:
        case Tag::BigNegative: {
            for (uint32_t offset = payloadOf(v); offset; offset = payloadOf(cellAt(offset).car)) {
                cellAt(offset).car |= kPermanentBit;
                if (payloadOf(cellAt(offset).car) == 0)
                    break;
            }
            return;
        }
        case Tag::Variable:
        case Tag::Syntax:
        case Tag::Function:
        case Tag::Predicate:
        case Tag::Lexical:
        case Tag::Gamma:
        case Tag::Rational:
        case Tag::Closed:
        case Tag::BoxedSlot:
        case Tag::Complex:
        case Tag::SlotDescriptor:
        case Tag::List: {
            if (payloadOf(v) == 0 || isPermanentCell(v))
                return;
            Cell& c = cellOf(v);
            c.car |= kPermanentBit;
            makePermanent(c.car & ~(kMarkBit | kPermanentBit));
            v = c.cdr;
            continue;
        }
        default:
            return;
        }
    }
}

namespace {

Value defineForm(Value args)
{
    if (!isPair(args))
        raiseWrongType(args);
    Value target = car(args);
    Value name = isPair(target) ? car(target) : target;
    if (!isSymbol(name))
        raiseWrongType(name);
    Value value;
    if (isPair(target)) {
        Value lambda = cons(Sym::lambda, cons(cdr(target), cdr(args)));
        value = eval(lambda);
        makePermanent(value);
    } else if (!isPair(cdr(args))) {
        value = kNoValue;
    } else {
        value = eval(car(cdr(args)));
    }
    gFullCollectionRequested = true;
    if (gSelf != kNoObject && gSlotDefiner)
        gSlotDefiner(gSelf, name, value);
    else {
        if (gGlobalDefiner)
            gGlobalDefiner(name);
        setGlobalValue(name, value);
    }
    return name;
}

class DefineModule final : public Module {
public:
    DefineModule() : Module("Define") {}
    void start() override
    {
        Module::start();
        defineSpecialForm("define", defineForm);
    }
} defineModule;

} // namespace
