// Interfac/Internet.cpp: the Internet Module. HTTP requests whose replies go to Lisp callbacks,
// mail, and opening addresses with the desktop's opener. Transfers are blocking with bounded time
// limits (Platform/Net); the callbacks run on this thread once the transfer has ended.
#include "Interfac/File.h"
#include "Interfac/Pathname.h"
#include "Kernel/Error.h"
#include "Kernel/Eval.h"
#include "Kernel/Frame.h"
#include "Kernel/List.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Symbol.h"
#include "Platform/Net/Net.h"
#include "Platform/Shell/Shell.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The internet handle and the connection: a request that finds one missing holds it for its own
// duration only. The connection is the server it names.
struct InternetState {
    bool open = false;
    bool connected = false;
    NetServer server;
} gState;

std::string stringArgument(Value v)
{
    if (!isString(v))
        raiseWrongType(v);
    return std::string(stringChars(v), stringLength(v));
}

// Data and headers: a string up to its first zero byte, or a memory handle sent whole.
std::string bytesArgument(Value v)
{
    if (isString(v)) {
        std::string s = stringArgument(v);
        size_t zero = s.find('\0');
        return zero == std::string::npos ? s : s.substr(0, zero);
    }
    Handle h = toHandle(v);
    int32_t size = handleSize(h);
    if (size < 0)
        raiseWrongType(v);
    if (size == 0)
        return {};
    uint32_t address = lockHandle(h);
    std::string bytes(reinterpret_cast<const char*>(hostAddress(address)), static_cast<size_t>(size));
    unlockHandle(h);
    return bytes;
}

NetServer serverArgument(Value v)
{
    NetServer server;
    if (!netParseServer(stringArgument(v), server))
        raiseWrongType(v);
    return server;
}

Value internetOpen()
{
    gState.open = true;
    return kNoValue;
}

Value internetClose()
{
    gState.open = false;
    gState.connected = false;
    return kNoValue;
}

Value internetConnect(Value server)
{
    NetServer parsed = serverArgument(server);
    if (gState.open) {
        gState.server = parsed;
        gState.connected = true;
    }
    return kNoValue;
}

Value internetUnconnect()
{
    gState.connected = false;
    return kNoValue;
}

// The body handle lives only during on-success: it is disposed, and its pointer cleared, when the
// callback returns or leaves by a throw.
class CallbackHandle {
public:
    explicit CallbackHandle(const std::string& body)
    {
        m_handle = newHandle(static_cast<uint32_t>(body.size()));
        if (!m_handle)
            raiseError(ErrorCode::MemoryExhausted, kNil);
        if (!body.empty()) {
            uint32_t address = lockHandle(m_handle);
            std::memcpy(hostAddress(address), body.data(), body.size());
            unlockHandle(m_handle);
        }
        m_pointer = makePointer(gHandleKind, m_handle);
    }
    ~CallbackHandle()
    {
        if (isHandle(m_handle) && pointerAddress(m_pointer) == m_handle)
            disposeHandle(m_handle);
        cellOf(m_pointer).cdr = 0;
    }
    CallbackHandle(const CallbackHandle&) = delete;
    CallbackHandle& operator=(const CallbackHandle&) = delete;
    Value pointer() const { return m_pointer; }

private:
    Handle m_handle = 0;
    Value m_pointer = kNil;
};

void request(const char* method, Value server, Value path, Value data, bool hasData, Value onSuccess,
             Value onFailure, Value headers)
{
    std::string serverText = stringArgument(server);
    std::string pathText = stringArgument(path);
    HttpRequest req;
    req.method = method;
    if (gState.open && gState.connected) {
        req.server = gState.server;
    } else if (!netParseServer(serverText, req.server)) {
        raiseWrongType(server);
    }
    if (!netValidPath(pathText))
        raiseWrongType(path);
    req.path = pathText;
    if (hasData && data != kNil) {
        req.body = bytesArgument(data);
        req.hasBody = true;
    }
    if (headers == kNil) {
        req.headers = { "Mime-Version: 1.0", "Content-Type: application/x-www-form-urlencoded" };
    } else {
        req.headers = netHeaderLines(bytesArgument(headers));
    }
    HttpReply reply = netHttpRequest(req, netLimits());
    if (!reply.complete) {
        funcall(onFailure);
        return;
    }
    Value contentType = reply.hasContentType ? makeString(reply.contentType) : kNil;
    CallbackHandle body(reply.body);
    reply.body.clear();
    funcall(onSuccess, contentType, body.pointer());
}

Value getHttp(Value server, Value path, Value onSuccess, Value onFailure, Value headers)
{
    request("GET", server, path, kNil, false, onSuccess, onFailure, headers);
    return kNoValue;
}

Value postHttp(Value server, Value path, Value data, Value onSuccess, Value onFailure, Value headers)
{
    request("POST", server, path, data, true, onSuccess, onFailure, headers);
    return kNoValue;
}

Value putHttp(Value server, Value path, Value data, Value onSuccess, Value onFailure, Value headers)
{
    request("PUT", server, path, data, true, onSuccess, onFailure, headers);
    return kNoValue;
}

Value emptyString() { return makeString(""); }

std::string hexCode(const std::string& code)
{
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i)
        v = v << 8 | (i < code.size() ? static_cast<uint8_t>(code[i]) : 0x20);
    char text[16];
    std::snprintf(text, sizeof text, "%x", v);
    return text;
}

// (velora-send-mail :mail-to to :mail-from from :subject s :content c :attachments paths)
Value sendMail(Value* rest)
{
    Value to = kNil, from = kNil, subject = kNil, content = kNil, attachments = kNil;
    Value keys[5] = { makeKeyword("mail-to"), makeKeyword("mail-from"), makeKeyword("subject"),
                      makeKeyword("content"), makeKeyword("attachments") };
    Value* slots[5] = { &to, &from, &subject, &content, &attachments };
    for (Value* p = rest; *p != kEnd && p[1] != kEnd; p += 2)
        for (int i = 0; i < 5; ++i)
            if (*p == keys[i])
                *slots[i] = p[1];
    for (Value v : { to, subject, content })
        if (!isString(v))
            raiseWrongType(v);
    if (from != kNil && !isString(from))
        raiseWrongType(from);
    MailMessage message;
    message.to = stringArgument(to);
    message.from = from == kNil ? "" : stringArgument(from);
    message.subject = stringArgument(subject);
    message.content = stringArgument(content);
    int count = 0;
    for (Value list = attachments; isPair(list) && count < 5; list = cdr(list), ++count) {
        Value path = car(list);
        std::string native = nativePathArgument(path);
        std::string host = hostPathOrRaise(path);
        size_t slash = native.find_last_of("\\/");
        MailMessage::Attachment a;
        a.hostPath = host;
        a.fileName = slash == std::string::npos ? native : native.substr(slash + 1);
        std::string type, creator;
        fileCodes(host, type, creator);
        a.type = hexCode(type);
        a.creator = hexCode(creator);
        message.attachments.push_back(std::move(a));
    }
    if (!netMailConfigured())
        return kNil;
    return boolValue(netSendMail(message));
}

Value openUrl(Value url, Value)
{
    std::string text = stringArgument(url);
    if (text.empty() || text[0] == '-' || text.find('\0') != std::string::npos)
        return kNil;
    return boolValue(shellOpenDocument(text));
}

class InternetModule final : public Module {
public:
    InternetModule() : Module("Internet") {}
    void start() override
    {
        Module::start();
        for (const char* key : { "smtp-host", "mail-account", "mail-password", "mail-to", "mail-from", "subject",
                                 "content", "attachments", "attachments-extention", "call-back" })
            makeKeyword(key);
        defineFunction0("internet-open", internetOpen);
        defineFunction0("internet-close", internetClose);
        defineFunction1("internet-connect", internetConnect);
        defineFunction0("internet-unconnect", internetUnconnect);
        defineFunction5("get-http", getHttp);
        defineFunction6("post-http", postHttp);
        defineFunction6("put-http", putHttp);
        defineFunction0("get-user-email", emptyString);
        defineFunction0("get-mail-name", emptyString);
        defineFunction0("get-mail-password", emptyString);
        defineFunction0("get-mail-host", emptyString);
        defineFunctionRest0("velora-send-mail", sendMail);
        defineFunction2("open-url", openUrl);
    }
    void stop() override
    {
        gState = InternetState {};
        Module::stop();
    }
} theInternetModule;

} // namespace
