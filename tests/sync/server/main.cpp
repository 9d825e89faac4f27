// pelimund-testserver: the tests' sync server as a program of its own, to
// try the client by hand (a "hostname" file holding 127.0.0.1 points the
// program at it).
#include "syncserver.h"

#include <QList>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER [PORT] [USER:PASSWORD[:QUOTA]]...\n", argv[0]);
        return 2;
    }
    // Blocked before the server's threads start, so that they inherit it
    // and the sigStop reach the sigwait below.
    sigset_t sigStop;
    sigemptyset(&sigStop);
    sigaddset(&sigStop, SIGINT);
    sigaddset(&sigStop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &sigStop, nullptr);
    const int iPort = argc > 2 ? std::atoi(argv[2]) : 19919;
    testserver::SyncServer server(argv[1], 2048, iPort);
    for (int i = 3; i < argc; ++i) {
        const QList<QByteArray> lParts = QByteArray(argv[i]).split(':');
        if (lParts.size() >= 2)
            server.setUser(lParts[0], lParts[1], lParts.size() > 2 ? lParts[2].toLongLong() : -1);
    }
    std::printf("listening on 127.0.0.1:%d\n", server.getPort());
    std::fflush(stdout);
    int iSignal = 0;
    sigwait(&sigStop, &iSignal);
    return 0;
}
