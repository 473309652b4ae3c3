// Kernel/Persist.cpp: the Persist Module. It registers the native class chain of the application
// framework (Node-With-Children, obj-persistence, obj-kernel-class, obj-interface, obj-behavior),
// the methods that link an instance to its kernel object, and the configuration machinery:
// configurations are lists (header properties children . pages) that describe an object and its
// children, and an instance's constructor list gathers the configurations that apply to it, most
// specific first.
#include "Kernel/Persist.h"

#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Frame.h"
#include "Kernel/KernelObject.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Object.h"
#include "Kernel/Recycle.h"
#include "Kernel/Symbol.h"

#include <new>
#include <vector>

Value gNodeWithChildren = kNil, gObjPersistence = kNil, gObjKernelClass = kNil, gObjInterface = kNil,
      gObjBehavior = kNil;

namespace {

Value kwName, kwParent, kwInitargs, kwWrite;
Value sName, sConfiguration, sStandardName, sDispatchProperty, sObjPage, sPageParent, sParent, sFindSelfConfig,
    sOwnersInited, sInitOwners, sInheritConfiguration, sFindPageConstructor, sReverse, sConfigCreator,
    sConfigParentCreator, sResolveString, sConstructorList, sObjInterface;

// The constructor list being built and the configuration applied last (roots: building the list
// sends Lisp messages, which may collect).
Value gBuilding = kNil;
Value gLastApplied = kNil;

// ---- Helpers ----

Value contextValueOrNil(Value symbol) { return isBound(symbol) ? symbolValue(symbol) : kNil; }

// The value of symbol in object's context (nil when unbound there).
Value valueIn(Value object, Value symbol)
{
    if (!isObject(object))
        raiseWrongType(object);
    ObjectContextFrame context(object);
    return contextValueOrNil(symbol);
}

Value currentObject()
{
    if (!isObject(gSelf))
        raiseWrongType(gSelf);
    return gSelf;
}

Value send(Value object, Value message, std::initializer_list<Value> args)
{
    return sendMessage(object, message, args.begin(), static_cast<int>(args.size()));
}

// Element n of a list, nil past its end; a value that is no proper list is the wrong type.
Value element(Value list, int n, Value culprit)
{
    for (;; --n) {
        if (list == kNil)
            return kNil;
        if (!isPair(list))
            raiseWrongType(culprit);
        if (n == 0)
            return car(list);
        list = cdr(list);
    }
}

// The cell that holds element n (n = 0 is the list itself); the wrong type when the list is shorter.
Value elementCell(Value list, int n, Value culprit)
{
    for (; n > 0; --n) {
        if (!isPair(list))
            raiseWrongType(culprit);
        list = cdr(list);
    }
    if (!isPair(list))
        raiseWrongType(culprit);
    return list;
}

Value reverseList(Value list)
{
    Value result = kNil;
    for (; isPair(list); list = cdr(list))
        result = cons(car(list), result);
    return result;
}

bool memq(Value x, Value list)
{
    for (; isPair(list); list = cdr(list))
        if (car(list) == x)
            return true;
    return false;
}

Value superclassOf(Value classValue)
{
    Value last = kNil;
    for (Value a = objectField(classValue, ClassField::Ascendants); isPair(a); a = cdr(a))
        last = car(a);
    return last;
}

// ---- Configuration accessors ----

bool isTag(Value v) { return isSymbol(v) || isInteger(v); }

Value tagP(Value v) { return boolValue(isTag(v)); }

Value headerType(Value header)
{
    if (header == kwInitargs || isTag(header))
        return kNil;
    return element(header, 0, header);
}

Value headerName(Value header)
{
    if (header == kwInitargs)
        return kNil;
    if (isTag(header))
        return header;
    return element(header, 1, header);
}

Value headerOwner(Value header)
{
    if (header == kwInitargs || isTag(header))
        return kNil;
    return element(header, 2, header);
}

Value configHeader(Value config) { return element(config, 0, config); }
Value configProperties(Value config) { return element(config, 1, config); }
Value configChildren(Value config) { return element(config, 2, config); }

Value configPages(Value config)
{
    if (config == kNil)
        return kNil;
    Value rest = config;
    for (int i = 0; i < 3; ++i) {
        if (rest == kNil)
            return kNil;
        if (!isPair(rest))
            raiseWrongType(config);
        rest = cdr(rest);
    }
    return rest;
}

Value configType(Value config) { return headerType(configHeader(config)); }
Value configName(Value config) { return headerName(configHeader(config)); }
Value configOwner(Value config) { return headerOwner(configHeader(config)); }

Value setConfigHeader(Value config, Value v)
{
    setCar(elementCell(config, 0, config), v);
    return kNoValue;
}

Value setConfigProperties(Value config, Value v)
{
    setCar(elementCell(config, 1, config), v);
    return kNoValue;
}

Value setConfigChildren(Value config, Value v)
{
    setCar(elementCell(config, 2, config), v);
    return kNoValue;
}

Value setConfigPages(Value config, Value v)
{
    setCdr(elementCell(config, 2, config), v);
    return kNoValue;
}

// ---- Building constructor lists ----

// Files key and value into configuration k: a plain key goes in front of k's properties; a key
// (child . rest) goes into the child configuration whose first element is child (made when
// missing), with rest (or its only element) as the key there.
void fileProperty(Value k, Value key, Value value)
{
    while (isPair(key)) {
        Value child = car(key);
        Value rest = cdr(key);
        Value childrenCell = elementCell(k, 2, k);
        Value found = kNil;
        for (Value c = car(childrenCell); isPair(c); c = cdr(c))
            if (isPair(car(c)) && car(car(c)) == child) {
                found = car(c);
                break;
            }
        if (found == kNil) {
            found = cons(child, cons(kNil, cons(kNil, kNil)));
            Value children = cons(found, car(childrenCell));
            setCar(elementCell(k, 2, k), children);
        }
        k = found;
        key = isPair(rest) && cdr(rest) == kNil ? car(rest) : rest;
    }
    Value propertiesCell = elementCell(k, 1, k);
    Value properties = cons(key, cons(value, car(propertiesCell)));
    setCar(elementCell(k, 1, k), properties);
}

void pushBuilt(Value config) { gBuilding = cons(config, gBuilding); }

// Applies object o with owner w: its configuration, unless nil or the one applied last, joins
// the list, after init-owners when o's owners are not yet initialised.
void applyConfiguration(Value o, Value w)
{
    Value k = valueIn(o, sConfiguration);
    if (k == kNil || k == gLastApplied)
        return;
    Value inited = valueIn(o, sOwnersInited);
    if (!isFlagSet(inited))
        send(o, sInitOwners, { k, w });
    pushBuilt(k);
    gLastApplied = k;
}

// Keeps the Module's state of an enclosing build while a nested one runs (init-owners may make
// and initialise other objects).
class BuildScope {
public:
    BuildScope() : m_building(gBuilding), m_last(gLastApplied)
    {
        gBuilding = kNil;
        gLastApplied = kNil;
    }
    ~BuildScope()
    {
        gBuilding = m_building;
        gLastApplied = m_last;
    }
    BuildScope(const BuildScope&) = delete;
    BuildScope& operator=(const BuildScope&) = delete;

private:
    Value m_building, m_last;
};

Value setupConstructor(Value args)
{
    Value self = currentObject();
    BuildScope scope;
    // 1. The initialisation arguments.
    if (args != kNil) {
        Value k = cons(kwInitargs, cons(kNil, cons(kNil, kNil)));
        pushBuilt(k);
        for (Value p = args; p != kNil; p = cdr(cdr(p))) {
            if (!isPair(p) || !isPair(cdr(p)))
                raiseWrongType(args);
            fileProperty(k, car(p), car(cdr(p)));
        }
    }
    // 2. What the parent's constructors say about this object.
    Value parent = contextValueOrNil(sParent);
    if (!inheritsFrom(self, sObjPage) && parent != kNil) {
        if (!isObject(parent))
            raiseWrongType(parent);
        Value constructors;
        Value pageParent = contextValueOrNil(sPageParent);
        if (inheritsFrom(self, sObjInterface) && pageParent != kNil) {
            Value answer = send(parent, sFindPageConstructor, { pageParent });
            constructors = isPair(answer) ? cdr(answer) : kNil;
        } else {
            constructors = valueIn(parent, sConstructorList);
        }
        for (; isPair(constructors); constructors = cdr(constructors)) {
            Value found = send(self, sFindSelfConfig, { configChildren(car(constructors)) });
            if (found != kNil)
                pushBuilt(found);
        }
    }
    // 3. The instance's own configuration.
    gLastApplied = kNil;
    Value c = self;
    if (isInstance(self)) {
        Value classValue = objectClass(self);
        if (valueIn(self, sConfiguration) == valueIn(classValue, sConfiguration))
            setSymbolValue(sConfiguration, kNil);
        else
            applyConfiguration(self, self);
        c = classValue;
    }
    // 4. The classes' configurations, by the inheritance order.
    Value order = contextValueOrNil(sInheritConfiguration);
    if (order == sReverse) {
        std::vector<Value> chain; // classes stay reachable from self's class while this runs
        for (Value k = c; isClass(k) && k != gObjPersistence; k = superclassOf(k))
            chain.push_back(k);
        for (auto k = chain.rbegin(); k != chain.rend(); ++k)
            applyConfiguration(*k, c);
    } else if (isFlagSet(order)) {
        for (Value k = c; isClass(k) && k != gObjPersistence; k = superclassOf(k))
            applyConfiguration(k, k);
    } else if (c != gObjPersistence) {
        applyConfiguration(c, c);
    }
    return reverseList(gBuilding);
}

// ---- Searching ----

Value searchConstructor(Value key)
{
    Value list = contextValueOrNil(sConstructorList);
    for (; isPair(list); list = cdr(list)) {
        Value properties = configProperties(car(list));
        for (Value p = properties; isPair(p); p = isPair(cdr(p)) ? cdr(cdr(p)) : kNil)
            if (car(p) == key)
                return p;
    }
    return kNil;
}

Value searchPropertyMethod(Value symbol)
{
    if (!isSymbol(symbol))
        raiseWrongType(symbol);
    return searchProperty(symbol);
}

Value findSelfConfig(Value children)
{
    Value creator = contextValueOrNil(sConfigCreator);
    if (children != kNil && children == contextValueOrNil(sConfigParentCreator))
        return creator;
    if (memq(creator, children))
        return creator;
    Value name = contextValueOrNil(sName);
    if (name == kNil)
        return kNil;
    for (Value c = children; isPair(c); c = cdr(c))
        if (isPair(car(c)) && car(car(c)) == name)
            return car(c);
    for (Value c = children; isPair(c); c = cdr(c))
        if (isPair(car(c)) && headerName(car(car(c))) == name)
            return car(c);
    return kNil;
}

// ---- Names, initial slot values ----

Value setupName(Value args)
{
    Value self = currentObject();
    if (contextValueOrNil(sName) != kNil)
        return kNoValue;
    Value name = kNil;
    bool given = false;
    for (Value p = args; isPair(p) && isPair(cdr(p)); p = cdr(cdr(p)))
        if (car(p) == kwName) {
            name = car(cdr(p));
            given = true;
            break;
        }
    if (!given) {
        Value config = contextValueOrNil(sConfiguration);
        if (config != kNil && !(isInstance(self) && config == valueIn(objectClass(self), sConfiguration)))
            name = headerName(configHeader(config));
    }
    if (name == kNil)
        name = contextValueOrNil(sStandardName);
    setSymbolValue(sName, name);
    if (KernelObject* k = findKernelObject(objectField(self, ClassField::NativeObject)))
        k->setName(name);
    return kNoValue;
}

template <bool Writable> Value initializeSlots()
{
    Value self = currentObject();
    Value wanted = Writable ? kwWrite : kTrue;
    Value names = reverseList(slotNamesOf(self));
    for (; isPair(names); names = cdr(names)) {
        Value name = car(names);
        Value record = slotRecordIn(self, name);
        if (record == kNil || slotInitializeOption(record) != wanted)
            continue;
        Value v = searchProperty(name);
        if (Writable)
            writeSlotValue(name, v);
        else if (slotIsLink(slotRecordIn(self, name)))
            storeRawSlotValue(self, name, v);
        else
            setSymbolValue(name, v);
    }
    return kNoValue;
}

// ---- Linking instances to kernel objects ----

Value linkObject()
{
    Value self = currentObject();
    if (objectField(self, ClassField::NativeObject) != kNil)
        return kNoValue;
    NativeConstructor make = nativeConstructor(objectClass(self));
    if (!make) {
        setObjectField(self, ClassField::NativeObject, kTrue);
        return kNoValue;
    }
    Value pointer = make(self);
    KernelObject& object = kernelObjectAt(pointer);
    object.setOwner(self);
    setObjectField(self, ClassField::NativeObject, pointer);
    return kNoValue;
}

Value destroyC()
{
    Value self = currentObject();
    if (KernelObject* object = findKernelObject(objectField(self, ClassField::NativeObject)))
        object->closeObject();
    setObjectField(self, ClassField::NativeObject, kNil);
    return kNoValue;
}

Value getName() { return symbolValue(sName); }

Value setName(Value name)
{
    Value self = currentObject();
    setSymbolValue(sName, name);
    if (KernelObject* k = findKernelObject(objectField(self, ClassField::NativeObject)))
        k->setName(name);
    return kNoValue;
}

Value getConstructor() { return contextValueOrNil(sConstructorList); }

Value openObject()
{
    kernelObjectOf(currentObject()).open();
    return kNoValue;
}

InterfaceKernelObject& interfaceObject()
{
    Value self = currentObject();
    KernelObject& k = kernelObjectOf(self);
    if (!k.isInterface())
        raiseWrongType(self);
    return static_cast<InterfaceKernelObject&>(k);
}

template <void (InterfaceKernelObject::*Operation)()> Value interfaceOperation()
{
    (interfaceObject().*Operation)();
    return kNoValue;
}

Value enabledP() { return boolValue(interfaceObject().isEnabled()); }
Value getTitle() { return interfaceObject().title(); }
Value getTitleRef() { return interfaceObject().titleReference(); }

Value setTitle(Value title)
{
    interfaceObject().setTitle(title, true);
    return kNoValue;
}

// ---- Native constructors ----

Value makePlainObject(Value) { return adoptKernelObject(new (std::nothrow) PlainKernelObject); }
Value makeInterfaceObject(Value) { return adoptKernelObject(new (std::nothrow) InterfaceKernelObject); }
Value makeBehaviorObject(Value) { return adoptKernelObject(new (std::nothrow) BehaviorKernelObject); }

class PersistModule final : public Module {
public:
    PersistModule() : Module("Persist") {}
    void start() override
    {
        Module::start();
        gObjectCollectorHooks.markNativeObject = markKernelObjectPointer;
        gObjectCollectorHooks.nativeObjectKind = &cppObjectKind();
        kwName = makeKeyword("name");
        kwParent = makeKeyword("parent");
        kwInitargs = makeKeyword("initargs");
        kwWrite = makeKeyword("write");
        sName = intern("name");
        sConfiguration = intern("configuration");
        sStandardName = intern("standard-name");
        sDispatchProperty = intern("dispatch-property");
        sObjPage = intern("obj-page");
        sPageParent = intern("page-parent");
        sParent = intern("parent");
        sFindSelfConfig = intern("find-self-config");
        sOwnersInited = intern("owners-inited?");
        sInitOwners = intern("init-owners");
        sInheritConfiguration = intern("inherit-configuration?");
        sFindPageConstructor = intern("find-page-constructor");
        sReverse = intern("reverse");
        sConfigCreator = intern("config-creator");
        sConfigParentCreator = intern("config-parent-creator");
        sResolveString = intern("resolve-string");
        sConstructorList = intern("constructor-list");
        sObjInterface = intern("obj-interface");

        defineFunction1("tag?", tagP);
        defineFunction1("header-type", headerType);
        defineFunction1("header-name", headerName);
        defineFunction1("header-owner", headerOwner);
        defineFunction1("config-header", configHeader);
        defineFunction1("config-properties", configProperties);
        defineFunction1("config-children", configChildren);
        defineFunction1("config-pages", configPages);
        defineFunction1("config-type", configType);
        defineFunction1("config-name", configName);
        defineFunction1("config-owner", configOwner);
        defineFunction2("set-config-header", setConfigHeader);
        defineFunction2("set-config-properties", setConfigProperties);
        defineFunction2("set-config-children", setConfigChildren);
        defineFunction2("set-config-pages", setConfigPages);

        gNodeWithChildren = registerNativeClass("Node-With-Children", nullptr, gObjRoot);
        gObjPersistence = registerNativeClass("obj-persistence", nullptr, gNodeWithChildren);
        gObjKernelClass = registerNativeClass("obj-kernel-class", makePlainObject, gObjPersistence);
        gObjInterface = registerNativeClass("obj-interface", makeInterfaceObject, gObjKernelClass);
        gObjBehavior = registerNativeClass("obj-behavior", makeBehaviorObject, gObjInterface);

        auto method = [](Value c, const char* name, auto fn, uint32_t arity) {
            defineMethod(c, name, AnyFn(fn), arity);
        };
        method(gObjPersistence, "link-object", linkObject, 0);
        method(gObjPersistence, "destroy-c", destroyC, 0);
        method(gObjPersistence, "get-name", getName, 0);
        method(gObjPersistence, "set-name", setName, 1);
        method(gObjPersistence, "setup-name", setupName, 1);
        method(gObjPersistence, "get-constructor", getConstructor, 0);
        method(gObjPersistence, "search-property", searchPropertyMethod, 1);
        method(gObjPersistence, "search-constructor", searchConstructor, 1);
        method(gObjPersistence, "find-self-config", findSelfConfig, 1);
        method(gObjPersistence, "setup-constructor", setupConstructor, 1);
        method(gObjPersistence, "initialize-setable-slots", initializeSlots<false>, 0);
        method(gObjPersistence, "initialize-writable-slots", initializeSlots<true>, 0);
        method(gObjKernelClass, "open", openObject, 0);
        method(gObjInterface, "show", interfaceOperation<&InterfaceKernelObject::show>, 0);
        method(gObjInterface, "hide", interfaceOperation<&InterfaceKernelObject::hide>, 0);
        method(gObjInterface, "enable", interfaceOperation<&InterfaceKernelObject::enable>, 0);
        method(gObjInterface, "disable", interfaceOperation<&InterfaceKernelObject::disable>, 0);
        method(gObjInterface, "hilite", interfaceOperation<&InterfaceKernelObject::hilite>, 0);
        method(gObjInterface, "dehilite", interfaceOperation<&InterfaceKernelObject::dehilite>, 0);
        method(gObjInterface, "enabled?", enabledP, 0);
        method(gObjInterface, "get-title", getTitle, 0);
        method(gObjInterface, "get-title-ref", getTitleRef, 0);
        method(gObjInterface, "set-title", setTitle, 1);
    }
    void stop() override
    {
        deleteAllKernelObjects();
        gBuilding = kNil;
        gLastApplied = kNil;
        Module::stop();
    }
    void markRoots() override
    {
        mark(gBuilding);
        mark(gLastApplied);
        mark(gNodeWithChildren);
        mark(gObjPersistence);
        mark(gObjKernelClass);
        mark(gObjInterface);
        mark(gObjBehavior);
    }
} thePersistModule;

} // namespace

Value searchProperty(Value symbol)
{
    Value tail = searchConstructor(symbolToKeyword(symbol));
    if (isPair(tail))
        return isPair(cdr(tail)) ? car(cdr(tail)) : kNil;
    if (slotRecordIn(gSelf, symbol) == kNil)
        return kNil;
    return slotInitialValueIn(symbol);
}

Value searchPropertyIn(Value object, Value symbol)
{
    if (!isObject(object))
        raiseWrongType(object);
    ObjectContextFrame context(object);
    return searchProperty(symbol);
}
