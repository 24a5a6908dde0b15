#include "flowkeep/QtMainExecutor.h"

#include <QMetaObject>
#include <QThread>
#include <QTimer>

namespace flowkeep {

QtMainExecutor::QtMainExecutor() : context_(std::make_unique<QObject>()) {}

QtMainExecutor::~QtMainExecutor() { endReferences(); }

void QtMainExecutor::post(Job job) {
    QMetaObject::invokeMethod(context_.get(), std::move(job), Qt::QueuedConnection);
}

MainExecutor::TimerId QtMainExecutor::postAfter(std::chrono::milliseconds delay, Job job) {
    TimerId id;
    {
        std::lock_guard lock(mutex_);
        id = nextTimer_++;
        pending_.emplace(id, std::move(job));
    }
    // QTimer must be made on the thread whose event loop runs it.
    if (isMainThread()) {
        startTimer(id, delay);
    } else {
        QMetaObject::invokeMethod(
            context_.get(), [this, id, delay] { startTimer(id, delay); }, Qt::QueuedConnection);
    }
    return id;
}

void QtMainExecutor::startTimer(TimerId id, std::chrono::milliseconds delay) {
    // A cancelled job is simply gone from the pending table when its timer fires.
    QTimer::singleShot(delay, Qt::PreciseTimer, context_.get(), [this, id] { fire(id); });
}

void QtMainExecutor::fire(TimerId id) {
    Job job;
    {
        std::lock_guard lock(mutex_);
        auto it = pending_.find(id);
        if (it == pending_.end()) {
            return;
        }
        job = std::move(it->second);
        pending_.erase(it);
    }
    job();
}

void QtMainExecutor::cancel(TimerId timer) {
    std::lock_guard lock(mutex_);
    pending_.erase(timer);
}

bool QtMainExecutor::isMainThread() const { return QThread::currentThread() == context_->thread(); }

} // namespace flowkeep
