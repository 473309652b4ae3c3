// Kernel/Reader.cpp: the Reader Module. A first reader: lists, symbols, numbers, strings,
// quote, keywords, variables and comments.
#include "Kernel/Reader.h"

#include "Kernel/Error.h"
#include "Kernel/Memory.h"
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Kernel/Symbol.h"

#include <string>

char gDecimalSeparator = '.';

namespace {

uint8_t gClasses[256];

void initClasses()
{
    for (int c = 0; c < 256; ++c)
        gClasses[c] = 6;
    for (int c = 0; c < 8; ++c)
        gClasses[c] = 9;
    for (int c = 0x10; c < 0x20; ++c)
        gClasses[c] = 10;
    gClasses[0x08] = 11;
    gClasses[0x0F] = 12;
    gClasses[0x0C] = 13;
    gClasses[0x0E] = 14;
    gClasses[0x09] = gClasses[' '] = 21;
    gClasses[0x0A] = gClasses[0x0B] = gClasses[0x0D] = 20;
    gClasses['\\'] = 0;
    gClasses['('] = gClasses['['] = 1;
    gClasses[')'] = gClasses[']'] = 2;
    for (char c : std::string("#&',:@_`"))
        gClasses[static_cast<unsigned char>(c)] = 4;
    gClasses['"'] = 5;
    for (int c = '0'; c <= '9'; ++c)
        gClasses[c] = 7;
    for (char c : std::string("+-.Eei|"))
        gClasses[static_cast<unsigned char>(c)] = 8;
    gClasses['{'] = 17;
    gClasses['}'] = 18;
    gClasses[';'] = 19;
}

constexpr Value kClose = makeValue(0x1F, 2); // internal token codes
constexpr Value kEndToken = makeValue(0x1F, 15);
constexpr Value kDot = makeValue(0x1F, 3);

bool isConstituent(int cls) { return cls == 0 || cls == 3 || cls == 6 || cls == 7 || cls == 8; }

std::string readConstituents(NativeStream& in)
{
    std::string text;
    for (int c = in.peekByte(); c != NativeStream::kEnd && isConstituent(gClasses[c]); c = in.peekByte()) {
        in.readByte();
        if (gClasses[c] == 0) {
            int next = in.readByte();
            if (next == NativeStream::kEnd)
                break;
            c = next;
        }
        text.push_back(static_cast<char>(c));
    }
    return text;
}

Value readToken(NativeStream& in);

Value readList(NativeStream& in)
{
    Value head = kNil, tail = kNil;
    for (;;) {
        Value item = readToken(in);
        if (item == kClose)
            return head;
        if (item == kEndToken)
            raiseError(ErrorCode::Syntax, kNil);
        if (item == kDot) {
            Value last = readToken(in);
            if (last == kClose || last == kEndToken || last == kDot || head == kNil)
                raiseError(ErrorCode::Syntax, kNil);
            setCdr(tail, last);
            if (readToken(in) != kClose)
                raiseError(ErrorCode::Syntax, kNil);
            return head;
        }
        Value cell = cons(item, kNil);
        if (head == kNil)
            head = cell;
        else
            setCdr(tail, cell);
        tail = cell;
    }
}

Value readToken(NativeStream& in)
{
    for (;;) {
        int c = in.peekByte();
        if (c == NativeStream::kEnd)
            return kEndToken;
        int cls = gClasses[c];
        switch (cls) {
        case 1:
            in.readByte();
            return readList(in);
        case 2:
            in.readByte();
            return kClose;
        case 4: {
            in.readByte();
            if (c == '\'')
                return cons(Sym::quote, cons(readToken(in), kNil));
            if (c == ':')
                return makeKeyword(readConstituents(in));
            if (c == '_') {
                Value symbol = internCopy(readConstituents(in));
                return retag(cons(makeImmediate(0), symbol), Tag::Variable);
            }
            continue;
        }
        case 5: {
            in.readByte();
            std::string text;
            for (int d = in.readByte(); d != NativeStream::kEnd && gClasses[d] != 5; d = in.readByte()) {
                if (gClasses[d] == 0)
                    d = in.readByte();
                if (d != 0x0A && d != NativeStream::kEnd)
                    text.push_back(static_cast<char>(d));
            }
            return makeString(text);
        }
        case 0:
        case 6:
        case 7:
        case 8: {
            std::string text = readConstituents(in);
            if (text.size() == 1 && text[0] == gDecimalSeparator)
                return kDot;
            if (cls == 7 || cls == 8)
                if (auto number = parseNumber(text, gDecimalSeparator))
                    return *number;
            return internCopy(text);
        }
        case 19:
            while (in.peekByte() != NativeStream::kEnd && gClasses[in.peekByte()] != 20)
                in.readByte();
            continue;
        default:
            in.readByte();
            continue;
        }
    }
}

class ReaderModule final : public Module {
public:
    ReaderModule() : Module("Reader") {}
    void start() override
    {
        Module::start();
        initClasses();
        Sym::quote = intern("quote");
    }
} readerModule;

} // namespace

int characterClass(unsigned char c) { return gClasses[c]; }

Value readValue(NativeStream& in)
{
    Value v = readToken(in);
    if (v == kClose)
        raiseError(ErrorCode::Syntax, kNil);
    return v == kEndToken ? kNil : v;
}

bool readerAtEnd(NativeStream& in)
{
    for (int c = in.peekByte(); c != NativeStream::kEnd; c = in.peekByte()) {
        int cls = gClasses[c];
        if (cls == 19) {
            while (in.peekByte() != NativeStream::kEnd && gClasses[in.peekByte()] != 20)
                in.readByte();
        } else if (cls == 20 || cls >= 21) {
            in.readByte();
        } else {
            return false;
        }
    }
    return true;
}
