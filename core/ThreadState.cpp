#include "core/ThreadState.h"

#include <openssl/crypto.h>

void CenterCore::releaseThreadState() {
    OPENSSL_thread_stop();
}
