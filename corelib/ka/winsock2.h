// Ka::Winsock2: the process-wide start of the socket library, and its error texts.
#pragma once

#include "ka/singleton.h"
#include "ka/string.h"

namespace Ka {

// Every socket user makes sure the instance exists before its first socket
// call, so that a platform whose socket library must be started (and loaded)
// first gets that done once. The BSD sockets here are part of the C library
// and need nothing started: the instance only keeps that promise.
class Winsock2 : public Singleton<Winsock2> {
public:
    // The calling thread's last socket error number as decimal text, in a
    // buffer of the thread's own that the thread's next call overwrites.
    static const char *getLastErrorText();
    // The system's message for the calling thread's last error.
    static String getLastErrorMessage();
    // The system's message for an error number.
    static String getErrorMessage(int iError);

private:
    friend class Singleton<Winsock2>;
    Winsock2() = default;
};

} // namespace Ka
