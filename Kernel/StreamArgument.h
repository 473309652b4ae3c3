// Kernel/StreamArgument.h: how a primitive's stream argument becomes a native stream.
#pragma once

#include "Kernel/Stream.h"

// Output: nil or no argument is the current output; Lisp stream objects give their native stream.
NativeStream& toOutputStream(Value s);
// Input: a Lisp stream object, or a value converted to a stream (a string reads its characters).
// The result lives until the end of the enclosing InputStreamScope.
class InputStreamScope {
public:
    explicit InputStreamScope(Value s);
    ~InputStreamScope();
    InputStreamScope(const InputStreamScope&) = delete;
    InputStreamScope& operator=(const InputStreamScope&) = delete;
    NativeStream& stream() { return *m_stream; }

private:
    NativeStream* m_stream;
    NativeStream* m_owned = nullptr;
};

// Lisp stream objects register how to reach their native stream.
using StreamResolver = NativeStream* (*)(Value s);
void setStreamResolver(StreamResolver resolver);
