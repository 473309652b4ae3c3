// Kernel/StreamArgument.cpp: stream arguments of the reading and printing primitives.
#include "Kernel/StreamArgument.h"

#include "Kernel/Error.h"
#include "Kernel/Memory.h"

namespace {
StreamResolver gResolver = nullptr;
}

void setStreamResolver(StreamResolver resolver) { gResolver = resolver; }

NativeStream& toOutputStream(Value s)
{
    if (s == kNil || s == kNoValue || s == kEnd) {
        pumpEventsForOutput();
        return *gCurrentOutput;
    }
    if (gResolver)
        if (NativeStream* stream = gResolver(s))
            return *stream;
    raiseWrongType(s);
}

InputStreamScope::InputStreamScope(Value s)
{
    if (gResolver)
        if (NativeStream* stream = gResolver(s)) {
            m_stream = stream;
            return;
        }
    if (isString(s)) {
        m_owned = new StringInputStream(stringChars(s));
        m_stream = m_owned;
        return;
    }
    raiseWrongType(s);
}

InputStreamScope::~InputStreamScope() { delete m_owned; }
