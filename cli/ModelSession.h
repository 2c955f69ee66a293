#pragma once

#include "cli/TerminalPrompts.h"
#include "model/CenterModel.h"

#include <functional>

// One verb over the center model, run as the window would run it: the model starts up with the
// user's settings, support folder and applications folders, performs the operation, and the
// verb waits until nothing runs any more. Then `report` prints what the verb shows, the model's
// status is the last line of stdout, and an error left in the model is the last line of stderr
// with exit status 1. Ctrl+C stops the work and exits 130.
// Throws UsageError for a confirmation nobody could answer.
struct ModelVerb {
    std::function<void(CenterModel&)> operation;
    std::function<void(const CenterModel&)> report = {};
    TerminalPrompts::Answers answers = {};
    // Show the download's progress as a bar on a terminal.
    bool progressBar = false;
    // Print each status the operation shows as it comes (how a download goes, a differential
    // update's saving or its fall back), the final one last.
    bool narrates = false;
    // Print the status line (a verb printing a JSON document prints nothing else).
    bool printStatus = true;
    // The operation asks before it changes anything: without --yes it needs a terminal to ask
    // at, or it is bad usage; a "no" there ends with exit status 1.
    bool confirms = false;
    // Whether the operation succeeded, for operations whose failure is not the model's error:
    // a failure prints the status on stderr as well and exits 1.
    std::function<bool()> succeeded = {};
};

int runModelVerb(const ModelVerb& verb);
