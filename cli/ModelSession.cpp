#include "cli/ModelSession.h"

#include "cli/Arguments.h"
#include "cli/InterruptStop.h"
#include "cli/ProgressBar.h"
#include "platform/LinuxWorkspace.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThreadPool>
#include <QTimer>
#include <iostream>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

constexpr int pollMilliseconds = 100;

// Runs the event loop until the model is idle; false when the user interrupted.
bool waitUntilIdle(CenterModel& model, const std::stop_token& interrupted) {
    QEventLoop loop;
    QObject::connect(&model, &CenterModel::settled, &loop, &QEventLoop::quit);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (interrupted.stop_requested()) {
            loop.quit();
        }
    });
    poll.start(pollMilliseconds);
    while (!model.isIdle() && !interrupted.stop_requested()) {
        loop.exec();
    }
    return !interrupted.stop_requested();
}

} // namespace

int runModelVerb(const ModelVerb& verb) {
    // Refused before anything is done: without a terminal, nobody could answer the question.
    if (verb.confirms && !verb.answers.yes && ::isatty(STDIN_FILENO) != 1) {
        throw UsageError("没有终端可以回答确认问题；确定要这样做时，请加上 --yes。");
    }
    InterruptStop interrupt;
    static int argc = 1;
    static char name[] = "kestryn";
    static char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);

    CenterPlatform::LinuxWorkspace workspace;
    TerminalPrompts prompts(verb.answers);
    auto model = std::make_unique<CenterModel>(CenterModelSetup::standard(workspace, prompts));
    ProgressBar bar;
    if (verb.progressBar && ::isatty(STDERR_FILENO) == 1) {
        QObject::connect(model.get(), &CenterModel::progressChanged, model.get(), [&bar, &model] {
            if (model->progress() > 0) {
                bar(model->progress());
            }
        });
    }

    bool finished = waitUntilIdle(*model, interrupt.token());
    std::string narrated;
    if (finished) {
        if (verb.narrates) {
            QObject::connect(model.get(), &CenterModel::statusChanged, model.get(),
                             [&bar, &model, &narrated] {
                                 bar.end();
                                 narrated = model->status();
                                 std::cout << narrated << std::endl;
                             });
        }
        verb.operation(*model);
        finished = waitUntilIdle(*model, interrupt.token());
    }
    bar.end();
    if (!finished) {
        // The model stops its work when it goes; what runs elsewhere is waited for, so that
        // nothing is left half done behind the program's back.
        model.reset();
        QThreadPool::globalInstance()->waitForDone();
        std::cerr << "操作已取消。\n";
        return interruptedExitCode;
    }
    if (verb.report) {
        verb.report(*model);
    }
    // A verb that failed without an error ends with its status as the failure, once, on stderr.
    const bool failedQuietly = !model->error() && verb.succeeded && !verb.succeeded();
    if (verb.printStatus && !failedQuietly && model->status() != narrated) {
        std::cout << model->status() << '\n';
    }
    if (model->error()) {
        std::cerr << *model->error() << '\n';
        return 1;
    }
    if (prompts.declined()) {
        std::cerr << "已取消，已安装的软件未作任何改动。\n";
        return 1;
    }
    if (failedQuietly) {
        std::cerr << model->status() << '\n';
        return 1;
    }
    return 0;
}
