#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QtConcurrent/QtConcurrentRun>
#include <type_traits>
#include <utility>

namespace qova::ui {

/// Runs work on a worker thread of Qt's pool and hands its result to done on the owner's thread,
/// later, never from within this call. The work must own all it reads. done is never called
/// once the owner is gone: its result is then dropped, and work still running finishes unheard.
template <typename Work, typename Done>
void runInBackground(QObject* owner, Work work, Done done) {
    using Result = std::invoke_result_t<Work&>;
    auto* watcher = new QFutureWatcher<Result>(owner);
    QObject::connect(watcher, &QFutureWatcherBase::finished, watcher,
                     [watcher, done = std::move(done)]() mutable {
                         watcher->deleteLater();
                         done(watcher->future().takeResult());
                     });
    watcher->setFuture(QtConcurrent::run(std::move(work)));
}

}  // namespace qova::ui
