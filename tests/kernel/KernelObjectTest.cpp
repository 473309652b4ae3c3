// tests/kernel/KernelObjectTest.cpp: kernel objects as native code sees them: the object table
// behind "cpp object" pointers, deletion and stale pointers, the default stream operations,
// closing, marking and the interface operations.
#include "Support.h"

#include "Kernel/KernelObject.h"
#include "Kernel/Object.h"
#include "Kernel/Recycle.h"
#include "Kernel/Stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

namespace {

// A kernel object whose class implements only the byte operations of a stream over a string.
class ByteStream final : public KernelObject {
public:
    explicit ByteStream(std::string input = {}) : m_input(std::move(input)) {}
    bool isKernelObject() const override { return true; }
    bool isInputStream() const override { return true; }
    bool isOutputStream() const override { return true; }
    int readByte() override { return m_at < m_input.size() ? static_cast<uint8_t>(m_input[m_at++]) : kEnd; }
    void writeByte(int byte) override { m_output.push_back(static_cast<char>(byte)); }
    std::string m_input;
    size_t m_at = 0;
    std::string m_output;
};

// Counts its deletions and mark calls, and holds one Value of its own.
int gDeleted = 0;
class Counting final : public KernelObject {
public:
    ~Counting() override { ++gDeleted; }
    bool isKernelObject() const override { return true; }
    void markValues() override
    {
        KernelObject::markValues();
        mark(m_extra);
        ++m_marks;
    }
    Value m_extra = kNil;
    int m_marks = 0;
};

std::string reportText(const std::function<void()>& body) { return reportOf(body); }

bool raises(const std::string& report, const char* code)
{
    return report.rfind(std::string("Error: 1010-") + code + ",", 0) == 0;
}

} // namespace

TEST(KernelObject, PointerHoldsATableIndexAndPrintsWithTheKindName)
{
    size_t before = liveKernelObjectCount();
    auto* object = new ByteStream;
    Value pointer = adoptKernelObject(object);
    EXPECT_TRUE(isKernelObjectPointer(pointer));
    EXPECT_EQ(liveKernelObjectCount(), before + 1);
    EXPECT_NE(pointerAddress(pointer), 0u);
    EXPECT_LT(pointerAddress(pointer), 0x10000u) << "word 1 is an index, not a host address";
    EXPECT_EQ(&kernelObjectAt(pointer), object);
    char expected[64];
    std::snprintf(expected, sizeof expected, "<cpp object %x>", pointerAddress(pointer));
    EXPECT_EQ(printedText(pointer, PrintStyle::Print), expected);
    EXPECT_EQ(object->pointer(), pointer) << "one pointer per object";
    delete object;
    EXPECT_EQ(liveKernelObjectCount(), before);
    EXPECT_EQ(pointerAddress(pointer), 0u) << "deletion clears the address";
    EXPECT_EQ(printedText(pointer, PrintStyle::Print), "<null cpp object>");
}

TEST(KernelObject, StalePointersAndOtherValuesAreRefused)
{
    Value pointer = adoptKernelObject(new ByteStream);
    delete &kernelObjectAt(pointer);
    // A new object may take the freed entry; the old pointer still names nothing.
    Value other = adoptKernelObject(new ByteStream);
    EXPECT_TRUE(raises(reportText([&] { kernelObjectAt(pointer); }), "69"));
    EXPECT_EQ(findKernelObject(pointer), nullptr);
    EXPECT_NE(findKernelObject(other), nullptr);
    const Value wrong[] = { kNil, makeImmediate(3), makePointer(gPlainPointerKind, pointerAddress(other)),
        makeString("x") };
    for (Value v : wrong) {
        EXPECT_TRUE(raises(reportText([&] { kernelObjectAt(v); }), "2")) << printedText(v, PrintStyle::Print);
        EXPECT_EQ(findKernelObject(v), nullptr);
    }
    // A forged pointer naming a live entry through another cell is refused too.
    Value forged = makePointer(cppObjectKind(), pointerAddress(other));
    EXPECT_TRUE(raises(reportText([&] { kernelObjectAt(forged); }), "69"));
    delete findKernelObject(other);
}

TEST(KernelObject, AllocationFailureIsMemoryExhausted)
{
    std::string report = reportText([] { adoptKernelObject(nullptr); });
    EXPECT_EQ(report.rfind("Error: 1010-9, ()", 0), 0u) << report;
}

TEST(KernelObject, DisposeDeletesTheObjectAndIsHarmlessTwice)
{
    gDeleted = 0;
    Value pointer = adoptKernelObject(new Counting);
    cppObjectKind().dispose(pointer);
    EXPECT_EQ(gDeleted, 1);
    EXPECT_EQ(pointerAddress(pointer), 0u);
    cppObjectKind().dispose(pointer);
    EXPECT_EQ(gDeleted, 1);
    EXPECT_TRUE(cppObjectKind().disposeWhenUnreachable());
}

TEST(KernelObject, MarkingGoesThroughTheObjectsOwnOperation)
{
    auto* object = new Counting;
    Value pointer = adoptKernelObject(object);
    markKernelObjectPointer(pointer);
    markKernelObjectPointer(makePointer(gPlainPointerKind, pointerAddress(pointer))); // other kind: ignored
    EXPECT_EQ(object->m_marks, 1);
    delete object;
    markKernelObjectPointer(pointer); // a cleared pointer marks nothing
}

TEST(KernelObject, BaseStreamOperationsRaiseError47)
{
    auto* object = new PlainKernelObject;
    adoptKernelObject(object);
    const std::function<void()> operations[] = {
        [&] { object->seek(0); }, [&] { object->position(); }, [&] { object->atEnd(); },
        [&] { object->readByte(); }, [&] { object->peekByte(); }, [&] { object->length(); },
        [&] { object->writeByte('a'); }, [&] { object->advance(2); }, [&] { object->remaining(); },
        [&] { object->readCharacter(); },
    };
    for (const auto& operation : operations) {
        std::string report = reportText(operation);
        EXPECT_EQ(report.rfind("Error: 1010-47, ()", 0), 0u) << report;
    }
    EXPECT_FALSE(object->isStream());
    delete object;
}

TEST(KernelObject, BlocksFallBackOnTheByteOperations)
{
    const struct {
        const char* input;
        size_t count;
        const char* read;
    } reads[] = { { "abcdef", 4, "abcd" }, { "ab", 10, "ab" }, { "", 3, "" } };
    for (const auto& c : reads) {
        ByteStream s(c.input);
        char buffer[16] = {};
        size_t n = s.readBlock(buffer, c.count);
        EXPECT_EQ(std::string(buffer, n), c.read) << c.input;
    }
    const struct {
        const char* text;
        const char* written;
    } writes[] = { { "a\rb", "a\r\nb" }, { "\r\r", "\r\n\r\n" }, { "plain", "plain" }, { "end\r", "end\r\n" } };
    for (const auto& c : writes) {
        ByteStream s;
        s.writeBlockCrLf(c.text, std::strlen(c.text));
        EXPECT_EQ(s.m_output, c.written) << c.text;
        ByteStream t;
        t.writeBlock(c.text, std::strlen(c.text));
        EXPECT_EQ(t.m_output, c.text) << "a plain block is written unchanged";
    }
    ByteStream s("x");
    EXPECT_TRUE(s.isStream());
}

TEST(KernelObject, CloseLeavesTheDefaultOutputAndUnlinksTheOwner)
{
    Value instance = makeInstance(globalValue(intern("obj-kernel-class")));
    auto* object = new ByteStream;
    Value pointer = adoptKernelObject(object);
    object->setOwner(instance);
    setObjectField(instance, ClassField::NativeObject, pointer);
    NativeStream* saved = gCurrentOutput;
    gCurrentOutput = object;
    object->closeObject();
    EXPECT_NE(gCurrentOutput, static_cast<NativeStream*>(object));
    EXPECT_EQ(gCurrentOutput, &standardOutput());
    gCurrentOutput = saved;
    EXPECT_EQ(objectField(instance, ClassField::NativeObject), kNil);
    EXPECT_EQ(pointerAddress(pointer), 0u);
    EXPECT_TRUE(raises(reportText([&] { kernelObjectOf(instance); }), "69"));
}

TEST(KernelObject, OpenTakesNameAndOwnerFromTheContext)
{
    Value classValue = globalValue(intern("obj-kernel-class"));
    Value instance = makeInstance(classValue);
    auto* object = new PlainKernelObject;
    adoptKernelObject(object);
    Value name = intern("name");
    Value saved = globalValue(name);
    setGlobalValue(name, intern("the-name"));
    {
        ObjectContextFrame context(instance);
        object->open();
    }
    setGlobalValue(name, saved);
    EXPECT_EQ(object->name(), intern("the-name"));
    EXPECT_EQ(object->owner(), instance);
    delete object;
}

TEST(KernelObject, InterfaceDefaults)
{
    InterfaceKernelObject ui;
    EXPECT_TRUE(ui.isInterface());
    EXPECT_TRUE(ui.isKernelObject());
    EXPECT_FALSE(ui.isBehavior());
    EXPECT_TRUE(ui.isEnabled());
    EXPECT_EQ(ui.titleReference(), kNil);
    EXPECT_EQ(ui.title(), kNil) << "no title while the reference is nil";
    BehaviorKernelObject behavior;
    EXPECT_TRUE(behavior.isBehavior());
    EXPECT_TRUE(behavior.isInterface());
    PlainKernelObject plain;
    EXPECT_FALSE(plain.isInterface());
    EXPECT_FALSE(plain.isStream());
}

TEST(KernelObject, TitlesAreResolvedByTheApplication)
{
    class Titled final : public InterfaceKernelObject {
    public:
        Value titleReference() override { return makeImmediate(42); }
    } titled;
    Value resolve = intern("resolve-string");
    Value saved = globalValue(resolve);
    eval(readText("(define (resolve-string _r) (list 'resolved _r))"));
    std::string text = printedText(titled.title(), PrintStyle::Print);
    setGlobalValue(resolve, saved);
    EXPECT_EQ(text, "(resolved 42)");
}

TEST(KernelObject, DeleteAllDeletesEveryLiveObject)
{
    gDeleted = 0;
    Value a = adoptKernelObject(new Counting);
    Value b = adoptKernelObject(new Counting);
    deleteAllKernelObjects();
    EXPECT_EQ(gDeleted, 2);
    EXPECT_EQ(liveKernelObjectCount(), 0u);
    EXPECT_EQ(pointerAddress(a), 0u);
    EXPECT_EQ(pointerAddress(b), 0u);
}

TEST(KernelObject, LinkingFromLispMakesOneObjectOwnedByTheInstance)
{
    size_t before = liveKernelObjectCount();
    Value instance = kNil;
    std::string report = reportText([&] {
        eval(readText("(define Linked-Class (new-class 'Linked-Class obj-behavior))"));
        eval(readText("(Linked-Class (defslot name :default nil))"));
        eval(readText("(define linked-one (make-instance Linked-Class))"));
        instance = eval(readText("linked-one"));
        eval(readText("(linked-one (link-object))"));
    });
    ASSERT_EQ(report, "");
    Value pointer = objectField(instance, ClassField::NativeObject);
    ASSERT_TRUE(isKernelObjectPointer(pointer));
    KernelObject& object = kernelObjectOf(instance);
    EXPECT_EQ(object.owner(), instance);
    EXPECT_TRUE(object.isBehavior());
    EXPECT_EQ(liveKernelObjectCount(), before + 1);
    reportText([] { eval(readText("(linked-one (link-object))")); });
    EXPECT_EQ(objectField(instance, ClassField::NativeObject), pointer) << "linking twice keeps the object";
    EXPECT_EQ(liveKernelObjectCount(), before + 1);
    reportText([] { eval(readText("(linked-one (set-name 'renamed))")); });
    EXPECT_EQ(object.name(), intern("renamed")) << "set-name reaches the kernel object";
    reportText([] { eval(readText("(linked-one (setup-name nil))")); });
    EXPECT_EQ(object.name(), intern("renamed")) << "setup-name keeps a name already set";
    reportText([] { eval(readText("(linked-one (set! name nil))")); });
    reportText([] { eval(readText("(linked-one (setup-name '(:name from-args)))")); });
    EXPECT_EQ(object.name(), intern("from-args")) << "setup-name stores the name there too";
    EXPECT_EQ(object.property(intern("nothing-here")), kNil);
    report = reportText([] { eval(readText("(linked-one (destroy-c))")); });
    EXPECT_EQ(report, "");
    EXPECT_EQ(objectField(instance, ClassField::NativeObject), kNil);
    EXPECT_EQ(pointerAddress(pointer), 0u) << "the old pointer Value is cleared";
    EXPECT_EQ(liveKernelObjectCount(), before);
    report = reportText([&] { kernelObjectAt(pointer); });
    EXPECT_TRUE(raises(report, "69")) << report;
}

TEST(KernelObject, PropertyAndParentAreReadInTheOwner)
{
    Value instance = kNil;
    std::string report = reportText([&] {
        eval(readText("(define Prop-Class (new-class 'Prop-Class obj-kernel-class))"));
        eval(readText("(Prop-Class (defslot constructor-list :default '((c (:width 12) ()))))"));
        eval(readText("(Prop-Class (defslot parent :default 'the-parent))"));
        eval(readText("(define prop-one (make-instance Prop-Class))"));
        instance = eval(readText("prop-one"));
        eval(readText("(prop-one (link-object))"));
    });
    ASSERT_EQ(report, "");
    KernelObject& object = kernelObjectOf(instance);
    EXPECT_EQ(object.property(intern("width")), makeImmediate(12));
    EXPECT_EQ(object.parent(), intern("the-parent"));
    object.closeObject();
    EXPECT_EQ(objectField(instance, ClassField::NativeObject), kNil) << "close unlinks the owner";
}
