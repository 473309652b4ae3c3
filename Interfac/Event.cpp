// Interfac/Event.cpp: the Event Module: the display and the frame of a booted image, the event
// pump with its masks and deadline, the dispatch of one message, the pending exception of the
// window procedures, and periodic pumping from the evaluator.
#include "Interfac/Event.h"

#include "Interfac/FileGUI.h"
#include "Interfac/VAppl.h"
#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Frame.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Recycle.h"
#include "Kernel/Symbol.h"
#include "Kernel/VString.h"
#include "Kernel/Vprocess.h"
#include "Platform/Files/Files.h"
#include "Platform/Windows/WindowManager.h"

#include <cstdlib>
#include <exception>
#include <fstream>
#include <sstream>
#include <memory>

extern int gEventPumpDepth;

namespace {

// A display whose replay answers also reach the file dialogs' queue.
class AnswerTap final : public Display {
public:
    explicit AnswerTap(std::unique_ptr<Display> inner) : m_inner(std::move(inner)) {}
    bool isHeadless() const override { return m_inner->isHeadless(); }
    Surface& frameSurface() override { return m_inner->frameSurface(); }
    void present(const Region& dirty) override { m_inner->present(dirty); }
    bool nextEvent(InputEvent& event, int timeoutMs) override
    {
        if (!m_inner->nextEvent(event, timeoutMs))
            return false;
        if (event.kind == InputEvent::Kind::Answer)
            queueReplayAnswer(event.text);
        return true;
    }
    uint32_t milliseconds() override { return m_inner->milliseconds(); }
    void setCursor(const CursorShape& cursor) override { m_inner->setCursor(cursor); }
    void showCursor(bool visible) override { m_inner->showCursor(visible); }
    void setTitle(const std::string& title) override { m_inner->setTitle(title); }
    bool readBack(Surface& out) override { return m_inner->readBack(out); }
    int scale() const override { return m_inner->scale(); }
    FrameSize screenSize() override { return m_inner->screenSize(); }
    Point framePosition() override { return m_inner->framePosition(); }
    void setFramePosition(Point topLeft) override { m_inner->setFramePosition(topLeft); }
    FrameState frameState() override { return m_inner->frameState(); }
    void setFrameState(FrameState state) override { m_inner->setFrameState(state); }

private:
    std::unique_ptr<Display> m_inner;
};

std::unique_ptr<Display> gDisplay;
std::unique_ptr<WindowManager> gManager;
bool gBlockAlt = false;
bool gBooting = true;
bool gCloseAfterBoot = false;

// The exception a window procedure trapped, re-raised after dispatch. A quit is never replaced.
struct Pending {
    enum class Kind : uint8_t { None, Throw, Quit, Other } kind = Kind::None;
    Value tag = kNil;
    Value value = kNil;
    std::exception_ptr other;
} gPending;

Value gSystemKeyDown = kNil, gQuit = kNil;

constexpr uint8_t kVkShift = 0x10, kVkControl = 0x11, kVkAlt = 0x12, kVkCapital = 0x14;

// Frame flags of the start-up parameters.
constexpr uint8_t kFlagMaximized = 0x80;

intptr_t frameProcedure(WindowManager& wm, const Message& m) noexcept
{
    switch (m.message) {
    case Msg::ShellExecute: {
        std::string command;
        if (wm.takeShellRequest(m.wParam, command))
            trapLisp([&] { applShellCommand(command); });
        return 0;
    }
    case Msg::DropFiles: {
        DropRecord record;
        if (wm.takeDrop(m.wParam, record))
            trapLisp([&] {
                for (const std::string& file : record.files)
                    applOpenDocument(file, false);
            });
        return 0;
    }
    case Msg::Activate:
        trapLisp([&] { applActivate(m.wParam != 0); });
        return 0;
    case Msg::Close:
        // Closing the frame ends the run; during the boot, once the application has started.
        if (gBooting)
            gCloseAfterBoot = true;
        else
            wm.postQuitMessage(0);
        return 0;
    case Msg::EraseBackground:
        return 0;
    default:
        return wm.defFrameProc(m);
    }
}

// The message groups of the pump's masks, in the order they are served.
struct MaskGroup {
    bool (*selected)(int32_t mask);
    MessageFilter filter;
};

const std::vector<MaskGroup>& maskGroups()
{
    static const std::vector<MaskGroup> groups = {
        { [](int32_t m) { return (m & 0x0100) != 0; }, { { { 6, 10 }, { 33, 34 }, { 134, 134 }, { 546, 546 } } } },
        { [](int32_t m) { return (m & 0x0040) != 0; }, { { { 15, 15 }, { 133, 133 }, { 20, 20 } } } },
        { [](int32_t m) { return (m & 0x0006) != 0; }, { { { 512, 521 }, { 160, 169 } } } },
        { [](int32_t m) { return (m & 0x0018) != 0; }, { { { 256, 264 } } } },
        { [](int32_t m) { return m == 0x0200; }, { { { 992, 1000 }, { 0, 160 } } } },
        { [](int32_t) { return true; }, { { { 275, 275 }, { 289, 289 }, { 955, 960 } } } },
        { [](int32_t m) { return m == -1; }, MessageFilter::all() },
        { [](int32_t m) { return (m & 0x0100) != 0; }, MessageFilter::only(Msg::User, Msg::User) },
    };
    return groups;
}

bool takeMessage(int32_t mask, Message& message)
{
    for (const MaskGroup& group : maskGroups())
        if (group.selected(mask) && gManager->peekMessage(message, group.filter, true))
            return true;
    return false;
}

// Asks the application's system-key-down whether it takes a key; true when it did.
bool offerSystemKey(int code)
{
    if (!isBound(gSystemKeyDown))
        return false;
    Value function = globalValue(gSystemKeyDown);
    if (function == kNil || function == kNoValue)
        return false;
    return isFlagSet(funcall(function, makeInteger(code)));
}

bool keyDown(uint8_t virtualKey) { return gManager && (gManager->keyState(virtualKey) & 0x8000) != 0; }

void pollFromEvaluator()
{
    if (!gManager || gEventBlockCounter > 0 || gEventPumpDepth > 0)
        return;
    pumpEvents(-1, std::nullopt);
}

// The pump's depth and the event-block counter for its extent.
class PumpScope {
public:
    PumpScope() { ++gEventPumpDepth; }
    ~PumpScope() { --gEventPumpDepth; }
    PumpScope(const PumpScope&) = delete;
    PumpScope& operator=(const PumpScope&) = delete;

private:
    EventBlock m_block;
};

// Primitives. -----------------------------------------------------------------------------------

uint32_t ticksOf(Value v)
{
    if (!isImmediateInteger(v))
        raiseWrongType(v);
    return static_cast<uint32_t>(integerValue(v));
}

Value processEventsPrimitive(Value mask, Value, Value wait)
{
    int32_t m = -1;
    if (mask != kNil && mask != kNoValue) {
        if (!isImmediateInteger(mask))
            raiseWrongType(mask);
        m = integerValue(mask);
    }
    std::optional<uint32_t> deadline;
    if (wait == kTrue)
        deadline = nextWakeUp();
    else if (wait != kNil && wait != kNoValue)
        deadline = ticksOf(wait);
    pumpEvents(m, deadline);
    return kNoValue;
}

Value processUpdatesPrimitive()
{
    pumpEvents(0x0140, std::nullopt);
    return kNoValue;
}

Value getEventFlag() { return makeInteger(gEventBlockCounter); }

Value setEventFlag(Value v)
{
    if (!isImmediateInteger(v))
        raiseWrongType(v);
    gEventBlockCounter = integerValue(v);
    return v;
}

Value withoutEvent(Value body)
{
    EventBlock block;
    return evalBody(body);
}

Value setBlockAltKey(Value v)
{
    gBlockAlt = isFlagSet(v);
    return kNoValue;
}

Value flushAllEvents()
{
    if (gManager) {
        gManager->releaseCapture();
        Message m;
        while (gManager->peekMessage(m, MessageFilter::only(256, 264), true)) {
        }
    }
    return kNoValue;
}

// (wait-key ms): the next character within ms milliseconds, as (elapsed . code); (ms) on time-out.
Value waitKey(Value ms)
{
    if (!isImmediateInteger(ms))
        raiseWrongType(ms);
    int32_t limit = integerValue(ms);
    if (gManager) {
        uint32_t start = gManager->milliseconds();
        const MessageFilter keys = MessageFilter::only(Msg::KeyDown, Msg::SysChar);
        for (;;) {
            int32_t elapsed = static_cast<int32_t>(gManager->milliseconds() - start);
            int32_t left = limit - elapsed;
            Message m;
            if (!gManager->peekMessage(m, keys, true)) {
                if (left <= 0 || !gManager->getMessage(m, keys, left))
                    break;
            }
            if (m.message == Msg::Char || m.message == Msg::SysChar) {
                elapsed = static_cast<int32_t>(gManager->milliseconds() - start);
                return cons(makeInteger(elapsed), makeInteger(static_cast<uint8_t>(m.wParam)));
            }
            gManager->translateMessage(m);
        }
    }
    return cons(ms, kNil);
}

Value shiftKeyP() { return keyDown(kVkShift) ? kTrue : kNil; }
Value capsLockKeyP() { return gManager && (gManager->keyState(kVkCapital) & 1) ? kTrue : kNil; }
Value optionKeyP() { return keyDown(kVkAlt) ? kTrue : kNil; }
Value controlKeyP() { return keyDown(kVkControl) ? kTrue : kNil; }
Value cmdKeyP() { return kNil; }

class EventModule final : public Module {
public:
    EventModule() : Module("Event") {}
    void start() override
    {
        Module::start();
        gSystemKeyDown = intern("system-key-down");
        gQuit = intern("quit");
        gPending = {};
        gBlockAlt = false;
        defineFunction3("process-events", processEventsPrimitive);
        defineFunction0("process-updates", processUpdatesPrimitive);
        defineFunction0("get-event-flag", getEventFlag);
        defineFunction1("set-event-flag", setEventFlag);
        defineSpecialForm("without-event", withoutEvent);
        defineFunction0("flush-all-events", flushAllEvents);
        defineFunction1("wait-key", waitKey);
        defineFunction1("set-block-alt-key", setBlockAltKey);
        defineFunction0("shift-key?", shiftKeyP);
        defineFunction0("capslock-key?", capsLockKeyP);
        defineFunction0("option-key?", optionKeyP);
        defineFunction0("control-key?", controlKeyP);
        defineFunction0("menu-key?", controlKeyP);
        defineFunction0("cmd-key?", cmdKeyP);
        setEventPoll(pollFromEvaluator);
    }
    void stop() override
    {
        setEventPoll(nullptr);
        gPending = {};
        Module::stop();
    }
    void markRoots() override
    {
        mark(gPending.tag);
        mark(gPending.value);
    }
} theEventModule;

} // namespace

int keyCodeOfVirtualKey(uint8_t vk, bool extended)
{
    static const int kFunctionKeys[15] = { 378, 376, 355, 374, 352, 353, 354, 356, 357, 365, 359, 367, 361, 363, 369 };
    if (vk == 0x0D)
        return extended ? 3 : 13;
    if (vk >= '0' && vk <= '9')
        return vk;
    if (vk >= 'A' && vk <= 'Z')
        return vk;
    if (vk >= 0x60 && vk <= 0x69)
        return '0' + (vk - 0x60);
    if (vk >= 0x70 && vk <= 0x7E)
        return kFunctionKeys[vk - 0x70];
    switch (vk) {
    case 0x08: return 8;
    case 0x09: return 9;
    case 0x1B: return 27;
    case 0x20: return 32;
    case 0x21: return 11;
    case 0x22: return 12;
    case 0x23: return 4;
    case 0x24: return 1;
    case 0x25: return 28;
    case 0x26: return 30;
    case 0x27: return 29;
    case 0x28: return 31;
    case 0x2D: return 5;
    case 0x2E: return 127;
    case 0x6A: return 42;
    case 0x6B: return 43;
    case 0x6D: return 45;
    case 0x6E: return 46;
    case 0x6F: return 47;
    case 0xBA: return 59;
    case 0xBB: return 61;
    case 0xBC: return 44;
    case 0xBD: return 45;
    case 0xBE: return 46;
    case 0xBF: return 47;
    case 0xC0: return 96;
    case 0xDB: return 91;
    case 0xDC: return 92;
    case 0xDD: return 93;
    default: return 0;
    }
}

bool runTrapped(void (*action)(void*), void* context) noexcept
{
    try {
        action(context);
        return true;
    } catch (const VEr_Quit&) {
        gPending = {};
        gPending.kind = Pending::Kind::Quit;
    } catch (const VEr_Thrower& thrown) {
        if (gPending.kind != Pending::Kind::Quit) {
            gPending = {};
            gPending.kind = Pending::Kind::Throw;
            gPending.tag = thrown.tag;
            gPending.value = thrown.value;
        }
    } catch (...) {
        if (gPending.kind != Pending::Kind::Quit) {
            gPending = {};
            gPending.kind = Pending::Kind::Other;
            gPending.other = std::current_exception();
        }
    }
    return false;
}

void raisePending()
{
    Pending pending = gPending;
    gPending = {};
    switch (pending.kind) {
    case Pending::Kind::None:
        return;
    case Pending::Kind::Quit:
        throw VEr_Quit {};
    case Pending::Kind::Throw:
        throw VEr_Thrower { pending.tag, pending.value };
    case Pending::Kind::Other:
        std::rethrow_exception(pending.other);
    }
}

void dispatchOneMessage(const void* raw)
{
    const Message& message = *static_cast<const Message*>(raw);
    Message copy = message;
    if (filterMessage(&copy))
        return;
    if (message.message == Msg::Quit)
        throw VEr_Quit {};
    if (message.message == Msg::KeyDown || message.message == Msg::SysKeyDown) {
        bool extended = (message.lParam >> 24) & 1;
        int code = keyCodeOfVirtualKey(static_cast<uint8_t>(message.wParam), extended);
        bool control = keyDown(kVkControl);
        bool alt = message.message == Msg::SysKeyDown || keyDown(kVkAlt);
        bool letter = code >= 0 && code <= 255 && isLetterChar(static_cast<uint8_t>(code));
        if (code != 0 && (control || alt || !letter) && offerSystemKey(code))
            return;
        if (message.message == Msg::SysKeyDown && message.wParam == kVkAlt && gBlockAlt)
            return;
    }
    gManager->translateMessage(message);
    gManager->dispatchMessage(message);
    raisePending();
}

void pumpEvents(int32_t mask, std::optional<uint32_t> deadlineTicks)
{
    if (!gManager)
        return;
    PumpScope scope;
    Message message;
    while (takeMessage(mask, message))
        dispatchOneMessage(&message);
    idleModules();
    if (deadlineTicks && gManager->frame()) {
        int32_t remaining = static_cast<int32_t>(*deadlineTicks - currentTicks());
        if (remaining > 0) {
            gManager->setTimer(gManager->frame(), 0, static_cast<uint32_t>(remaining) * 50 / 3);
            bool got = gManager->getMessage(message, MessageFilter::all(), -1);
            gManager->killTimer(gManager->frame(), 0);
            if (got)
                dispatchOneMessage(&message);
        }
    }
}

WindowSystemStart openWindowSystem(const WindowSystemOptions& options, std::string& error)
{
    closeWindowSystem();
    gBooting = true;
    gCloseAfterBoot = false;
    std::string title = options.title.empty() ? std::string("Velora") : options.title;

    FrameSize size { options.width > 0 ? options.width : 400, options.height > 0 ? options.height : 375 };
    std::unique_ptr<Display> display = openDisplay(size, title, options.headless);
    // A copy already running with this title takes the documents; this copy stops. Headless
    // runs (tests, replays) meet other copies only in the folder VELORA_INSTANCE_FOLDER names.
    std::string folder = InstanceChannel::defaultFolder();
    bool headless = display->isHeadless();
    if (const char* own = std::getenv("VELORA_INSTANCE_FOLDER"); own && *own)
        folder = own;
    else if (headless)
        folder.clear();
    std::string socket = folder.empty() ? std::string() : InstanceChannel::socketPath(folder, title);
    auto channel = std::make_unique<InstanceChannel>();
    std::string channelError;
    bool listening = socket.empty() || channel->listen(socket, channelError);
    channel.reset();
    if (!listening && channelError.empty()) {
        for (const std::string& document : options.documents) {
            std::string host = document, lisp;
            if (!host.empty() && host[0] != '/')
                host = filesCurrentFolder() + "/" + host;
            if (!filesLispPath(host, lisp))
                continue;
            if (!InstanceChannel::send(socket, InstanceChannel::command("open", lisp), channelError)) {
                error = channelError;
                return WindowSystemStart::Failed;
            }
        }
        return WindowSystemStart::HandedToFirstCopy;
    }

    if (!options.replayPath.empty() || display->isHeadless()) {
        ReplayScript script;
        if (!options.replayPath.empty()) {
            std::ifstream file(options.replayPath, std::ios::binary);
            std::ostringstream content;
            content << file.rdbuf();
            std::string text = content.str();
            if (!file.is_open()) {
                error = "cannot read the replay " + options.replayPath;
                return WindowSystemStart::Failed;
            }
            script = parseReplay(text);
            if (!script.ok()) {
                error = options.replayPath + ": " + script.error;
                return WindowSystemStart::Failed;
            }
        }
        display = openReplayDriver(std::move(display), std::move(script));
    }
    gDisplay = std::make_unique<AnswerTap>(std::move(display));
    gManager = std::make_unique<WindowManager>(*gDisplay);

    WindowClass frameClass;
    frameClass.name = "FrameWClass";
    frameClass.style = ClassStyle::VRedraw | ClassStyle::HRedraw;
    frameClass.procedure = frameProcedure;
    frameClass.background = (options.flags & 0x20) ? Rgb { 0, 0, 0 } : Rgb { 255, 255, 255 };
    if (!gManager->registerClass(frameClass)) {
        error = "cannot register the frame's class";
        closeWindowSystem();
        return WindowSystemStart::Failed;
    }
    // The black-background flag: the client area is black until the desktop shows.
    if (const WindowClass* client = gManager->findClass("MDICLIENT"); client && (options.flags & 0x20)) {
        WindowClass black = *client;
        black.background = Rgb { 0, 0, 0 };
        if (gManager->unregisterClass("MDICLIENT"))
            gManager->registerClass(black);
    }
    CreateOptions frame;
    frame.className = "FrameWClass";
    frame.title = title;
    frame.style = Style::Visible | Style::ClipChildren;
    frame.exStyle = Style::ExAcceptFiles | ((options.flags & 0x04) ? Style::ExTopmost : 0);
    frame.rect = { 0, 0, size.width, size.height };
    WindowHandle handle = gManager->createWindow(frame);
    if (!handle || !gManager->createMdiClient(handle, 0x56000001, 0)) {
        error = "cannot create the frame";
        closeWindowSystem();
        return WindowSystemStart::Failed;
    }
    gManager->dragAcceptFiles(handle, true);
    if (options.flags & kFlagMaximized)
        gDisplay->setFrameState(FrameState::Maximized);
    std::string listenError;
    if (!socket.empty())
        gManager->listenForOtherCopies(socket, listenError); // without the channel the copy still runs
    gManager->updateAll();
    return WindowSystemStart::Opened;
}

void endOfBoot()
{
    gBooting = false;
    if (gCloseAfterBoot && gManager)
        gManager->postQuitMessage(0);
    gCloseAfterBoot = false;
}

void closeWindowSystem()
{
    gManager.reset();
    gDisplay.reset();
    gPending = {};
}

WindowManager* windowManager() { return gManager.get(); }

std::vector<std::string> replayProblems()
{
    return gManager ? gManager->replayErrors() : std::vector<std::string> {};
}
