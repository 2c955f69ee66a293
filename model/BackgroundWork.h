#pragma once

#include "core/ThreadState.h"

#include <QFuture>
#include <QFutureWatcher>
#include <QObject>
#include <QtConcurrent/QtConcurrentRun>
#include <exception>
#include <type_traits>
#include <utility>
#include <variant>

// What a piece of background work produced: its value, or the error it threw.
template <typename T> using Outcome = std::variant<T, std::exception_ptr>;

// Runs `work` on a worker thread and hands its outcome to `done` on the thread of `context`,
// which must still exist then: the outcome travels through a watcher the context owns, so work
// that outlives it (a window closed during a download) is dropped, never delivered to a dangling
// receiver. `work` must not touch `context`: everything it needs is captured by value.
template <typename Work, typename Done>
void runInBackground(QObject* context, Work work, Done done) {
    using Value = std::invoke_result_t<Work>;
    auto* watcher = new QFutureWatcher<Outcome<Value>>(context);
    QObject::connect(watcher, &QFutureWatcherBase::finished, context,
                     [watcher, done = std::move(done)]() mutable {
                         watcher->deleteLater();
                         done(watcher->result());
                     });
    watcher->setFuture(QtConcurrent::run([work = std::move(work)]() -> Outcome<Value> {
        struct Release {
            ~Release() { CenterCore::releaseThreadState(); }
        } release;
        try {
            return work();
        } catch (...) {
            return std::current_exception();
        }
    }));
}
