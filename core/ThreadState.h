#pragma once

namespace CenterCore {

// Frees what the crypto library keeps for the calling thread (its random generators and error
// queue); the next use on the thread sets it up again. A pooled worker calls it after each
// piece of work: the pool reports its threads as finished before their exit handlers have run,
// so a program that ends right then would otherwise leave that state behind.
void releaseThreadState();

} // namespace CenterCore
