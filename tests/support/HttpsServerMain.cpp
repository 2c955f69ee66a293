// kestryn-test-server: serves a folder over HTTPS on 127.0.0.1 with a freshly made certificate
// authority, for demonstrations and benchmarks. Prints "port=N" and "ca=PATH" (pass PATH as
// KESTRYN_CA_FILE to clients), then serves until SIGINT or SIGTERM.
#include "tests/support/HttpsServer.h"

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::cerr << "usage: kestryn-test-server DIR [PORT]\n";
        return 2;
    }
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    // Blocked before any thread starts, so only the wait below receives them.
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    HttpsServer server(argc == 3 ? static_cast<std::uint16_t>(std::stoi(argv[2])) : 0);
    server.serveDirectory(argv[1]);
    std::cout << "port=" << server.port() << '\n' << "ca=" << server.caFile().string() << std::endl;
    int received = 0;
    sigwait(&signals, &received);
    return 0;
}
