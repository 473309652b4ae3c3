// tests/kernel/ModuleTest.cpp: the start and stop protocol, the registry order and the binding rule.
#include "Support.h"

#include "Kernel/Module.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<std::string> gLog;

Value probeOne() { return makeImmediate(1); }
Value probeTwo() { return makeImmediate(2); }
Value formOne(Value) { return makeImmediate(1); }
Value formTwo(Value) { return makeImmediate(2); }

// A Module outside the registry that logs its start and stop and may define a function and a
// special form (names with static storage: the primitive table keeps them).
class LoggingModule final : public Module {
public:
    explicit LoggingModule(const char* name, const char* function = nullptr, const char* form = nullptr,
        int variant = 1)
        : Module(name)
        , m_function(function)
        , m_form(form)
        , m_variant(variant)
    {
    }
    void start() override
    {
        Module::start();
        gLog.push_back(std::string("start ") + name());
        if (m_function)
            defineFunction0(m_function, m_variant == 1 ? probeOne : probeTwo);
        if (m_form)
            defineSpecialForm(m_form, m_variant == 1 ? formOne : formTwo);
    }
    void stop() override
    {
        Module::stop();
        gLog.push_back(std::string("stop ") + name());
    }

private:
    const char* m_function;
    const char* m_form;
    int m_variant;
};

// Runs a test's Modules on a started list of their own, then gives the runtime its list back.
struct OwnStartedList {
    Module* saved = exchangeStartedList(nullptr);
    ~OwnStartedList() { exchangeStartedList(saved); }
};

std::vector<std::string> startedNames()
{
    std::vector<std::string> names;
    for (Module* m = startedList(); m; m = m->m_next)
        names.push_back(m->name());
    return names;
}

} // namespace

TEST(Module, DependenciesStartFirstAndStopLast)
{
    OwnStartedList own;
    gLog.clear();
    LoggingModule a("A"), b("B"), c("C"), d("D"), never("Never");
    a.addDependency(b);
    a.addDependency(c);
    b.addDependency(c);
    d.addDependency(a);
    a.addDependency(b); // a repeated dependency is kept once
    EXPECT_EQ(a.dependencyCount(), 2);
    EXPECT_EQ(a.dependency(1), &c);
    // The broadcast skips started Modules: B and C start as dependencies of A, only once.
    for (Module* m : { static_cast<Module*>(&a), static_cast<Module*>(&b), static_cast<Module*>(&c),
             static_cast<Module*>(&d) })
        if (!m->started())
            m->start();
    EXPECT_EQ(gLog, (std::vector<std::string> { "start C", "start B", "start A", "start D" }));
    EXPECT_EQ(startedNames(), (std::vector<std::string> { "D", "A", "B", "C" }));
    for (Module* m : { static_cast<Module*>(&a), static_cast<Module*>(&b), static_cast<Module*>(&c),
             static_cast<Module*>(&d) })
        EXPECT_TRUE(m->started()) << m->name();
    EXPECT_FALSE(never.started());
    gLog.clear();
    b.stop(); // stopped early: stopModules passes it by
    stopModules();
    EXPECT_EQ(gLog, (std::vector<std::string> { "stop B", "stop D", "stop A", "stop C" }));
    EXPECT_EQ(startedList(), nullptr);
    EXPECT_FALSE(a.started());
    EXPECT_FALSE(c.started());
}

TEST(Module, TheFirstDefinitionWins)
{
    OwnStartedList own;
    const struct {
        const char* function;
        const char* form;
        int first, second; // variants in start order
    } cases[] = {
        { "module-test-probe-12", "module-test-form-12", 1, 2 },
        { "module-test-probe-21", "module-test-form-21", 2, 1 },
    };
    for (auto& c : cases) {
        LoggingModule first("First", c.function, c.form, c.first), second("Second", c.function, c.form, c.second);
        first.start();
        second.start();
        EXPECT_EQ(evalText(std::string("(") + c.function + ")"), std::to_string(c.first)) << c.function;
        EXPECT_EQ(evalText(std::string("(") + c.form + ")"), std::to_string(c.first)) << c.form;
        Value value = globalValue(intern(c.function));
        EXPECT_EQ(tagOf(value), Tag::Primitive);
        EXPECT_EQ(cellOf(value).car, kDescriptorHeader | 0u); // arity code 0, permanent
        EXPECT_EQ(tagOf(globalValue(intern(c.form))), Tag::Special);
        stopModules();
    }
    // A name bound before the Module starts keeps its value.
    setGlobalValue(intern("module-test-bound"), makeImmediate(9));
    LoggingModule late("Late", "module-test-bound");
    late.start();
    EXPECT_EQ(globalValue(intern("module-test-bound")), makeImmediate(9));
    stopModules();
}

// Arity codes of the registration variants, read back from the descriptors of real primitives.
TEST(Module, DescriptorsCarryTheArityCode)
{
    const struct {
        const char* name;
        uint32_t tag, code;
    } cases[] = {
        { "car", Tag::Primitive, 1 },
        { "cons", Tag::Primitive, 2 },
        { "null-ptr", Tag::Primitive, 0 },
        { "equal-block?", Tag::Primitive, 3 },
        { "+", Tag::Primitive, 0x800000 },
        { "map", Tag::Primitive, 0x800001 },
        { "map-if", Tag::Primitive, 0x800002 },
        { "catch", Tag::Special, 0 },
    };
    for (auto& c : cases) {
        Value v = globalValue(intern(c.name));
        EXPECT_EQ(tagOf(v), c.tag) << c.name;
        EXPECT_EQ(cellOf(v).car, kDescriptorHeader | c.code) << c.name;
        EXPECT_TRUE(isPermanentCell(v)) << c.name;
        EXPECT_EQ(primitiveEntry(v).arityCode, c.code) << c.name;
        EXPECT_STREQ(primitiveEntry(v).name, c.name);
    }
}

// The registry holds every Module in the fixed order; starting it started each Module once,
// dependencies (in their order) before the Modules that need them.
TEST(Module, RegistryOrderAndStartOrder)
{
    const char* const order[] = { "lex_interface", "Picture", "Object", "VAppl", "Persist", "Stream", "Database",
        "File", "FileGUI", "Pathname", "VLoad", "VLS_File", "Resource", "Compare", "Caption", "Checkbox", "Choice",
        "Clipping", "Color", "Drag", "Drawing", "Effects", "Event", "Font", "Grafport", "Keyboard", "Menu", "Movie",
        "Pen", "VLW_TextClone", "VLW_TextXml", "VMouse", "VPlainText", "VText", "Scroll", "Table", "Window",
        "Binding", "Define", "Error", "Eval", "Hash", "Heap", "List", "Logical", "Memory", "Number", "VArray",
        "VK_TypeDispatcher", "Printer", "Prolog", "VString", "Reader", "Recycle", "Set", "Symbol", "Type", "Vector",
        "Walker", "Booting", "VAlert", "Encoding", "Format", "Internet", "Intl", "VApplication", "VCompress",
        "VExpr", "Vprocess", "Printing", "Profiler", "Scrap", "Search", "Sound", "Time", "Point", "Poly", "Rect",
        "Region" };
    const int count = sizeof order / sizeof order[0];
    ASSERT_EQ(moduleCount(), count);
    for (int i = 0; i < count; ++i) {
        EXPECT_STREQ(moduleAt(i)->name(), order[i]) << i;
        EXPECT_TRUE(moduleAt(i)->started()) << order[i];
    }
    EXPECT_EQ(moduleAt(count), nullptr);
    EXPECT_EQ(findModule("Heap"), moduleAt(42));
    EXPECT_EQ(findModule("NoSuchModule"), nullptr);

    std::map<std::string, std::vector<std::string>> dependsOn;
    for (const char* m : { "Picture", "Caption", "Checkbox", "Choice", "Clipping", "Drag", "Drawing", "Effects",
             "VPlainText", "Scroll", "Table", "Poly", "Color", "Pen", "Printing", "Grafport", "VMouse" })
        dependsOn[m] = { "Window" };
    for (const char* m : { "Heap", "Number", "VArray", "Prolog", "Vector" })
        dependsOn[m] = { "VK_TypeDispatcher" };
    for (const char* m : { "lex_interface", "Stream", "VLS_File" })
        dependsOn[m] = { "Persist" };
    dependsOn["VAppl"] = { "Resource" };
    dependsOn["Persist"] = { "Object" };
    dependsOn["File"] = dependsOn["FileGUI"] = { "Pathname" };
    dependsOn["Resource"] = { "VLS_File" };
    dependsOn["Event"] = { "VAppl" };
    dependsOn["Font"] = { "Window", "VString" };
    dependsOn["Menu"] = { "Persist", "Resource" };
    dependsOn["Movie"] = { "Window", "Pathname" };
    dependsOn["VLW_TextClone"] = dependsOn["VLW_TextXml"] = { "VPlainText" };
    dependsOn["VText"] = { "VPlainText", "Database" };
    dependsOn["Window"] = { "Persist", "Event" };
    dependsOn["Sound"] = { "Event" };

    for (const char* m : order) {
        std::vector<std::string> actual;
        Module* module = findModule(m);
        for (int i = 0; i < module->dependencyCount(); ++i)
            actual.push_back(module->dependency(i)->name());
        EXPECT_EQ(actual, dependsOn[m]) << m;
    }

    std::vector<std::string> expected;
    std::map<std::string, bool> seen;
    std::function<void(const std::string&)> visit = [&](const std::string& m) {
        if (seen[m])
            return;
        seen[m] = true;
        for (const std::string& d : dependsOn[m])
            visit(d);
        expected.push_back(m);
    };
    for (const char* m : order)
        visit(m);
    std::vector<std::string> started = startedNames();
    std::vector<std::string> startOrder(started.rbegin(), started.rend());
    EXPECT_EQ(startOrder, expected);
}

TEST(Module, EvalKeepsFreeP)
{
    // Eval starts before Prolog, so its special form is the definition in force.
    Value freeP = globalValue(intern("free?"));
    EXPECT_EQ(tagOf(freeP), Tag::Special);
    EXPECT_STREQ(primitiveEntry(freeP).name, "free?");
}

// ---- The calling convention of primitives ----

namespace {

std::vector<Value> gArguments;

Value fixedTwo(Value a, Value b)
{
    gArguments = { a, b };
    return kNoValue;
}

Value restOne(Value a, Value* rest)
{
    gArguments = { a };
    for (Value* r = rest; *r != kEnd; ++r)
        gArguments.push_back(*r);
    return kNoValue;
}

Value restZero(Value* rest)
{
    gArguments.clear();
    for (Value* r = rest; *r != kEnd; ++r)
        gArguments.push_back(*r);
    return kNoValue;
}

Value quoting(Value args)
{
    gArguments = { args };
    return kNoValue;
}

} // namespace

TEST(Module, PrimitivesReceiveTheirArgumentsByArity)
{
    setGlobalValue(intern("module-test-fixed2"), makePrimitive(AnyFn(fixedTwo), 2, "module-test-fixed2", Tag::Primitive));
    setGlobalValue(intern("module-test-rest1"),
        makePrimitive(AnyFn(restOne), kRestFlag | 1, "module-test-rest1", Tag::Primitive));
    setGlobalValue(intern("module-test-rest0"),
        makePrimitive(AnyFn(restZero), kRestFlag, "module-test-rest0", Tag::Primitive));
    setGlobalValue(intern("module-test-quoting"), makePrimitive(AnyFn(quoting), 0, "module-test-quoting", Tag::Special));
    const struct {
        const char* form;
        const char* arguments; // printed list of what the native function received
    } cases[] = {
        { "(module-test-fixed2 1 2)", "(1 2)" },
        { "(module-test-fixed2 1)", "(1 ())" },
        { "(module-test-fixed2)", "(() ())" },
        { "(module-test-fixed2 1 2 (car 5))", "(1 2)" }, // the third is not evaluated
        { "(module-test-rest1)", "(())" },
        { "(module-test-rest1 1)", "(1)" },
        { "(module-test-rest1 1 (+ 1 1) 3)", "(1 2 3)" },
        { "(module-test-rest0)", "()" },
        { "(module-test-rest0 'a \"b\")", "(a \"b\")" },
        { "(module-test-quoting (car 5) x)", "(((car 5) x))" },
    };
    for (auto& c : cases) {
        gArguments = { makeImmediate(99) };
        std::string result;
        EXPECT_EQ(reportOf([&] { result = evalText(c.form); }), "") << c.form;
        Value list = kNil;
        for (auto it = gArguments.rbegin(); it != gArguments.rend(); ++it)
            list = cons(*it, list);
        EXPECT_EQ(printedText(list, PrintStyle::Display), c.arguments) << c.form;
        EXPECT_EQ(result, evalText("(void)")) << c.form;
    }
}
