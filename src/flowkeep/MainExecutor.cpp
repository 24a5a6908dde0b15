#include "flowkeep/MainExecutor.h"

#include <mutex>

namespace flowkeep {

MainExecutor::MainExecutor() : lifeline_(std::make_shared<Lifeline>()) { lifeline_->executor = this; }

// Only a fallback: by now the concrete executor's members are gone, so it must have ended its
// references itself.
MainExecutor::~MainExecutor() { endReferences(); }

void MainExecutor::endReferences() {
    std::unique_lock lock(lifeline_->mutex);
    lifeline_->executor = nullptr;
}

bool MainExecutor::Reference::post(Job job) const {
    std::shared_lock lock(lifeline_->mutex);
    if (lifeline_->executor == nullptr) {
        return false;
    }
    lifeline_->executor->post(std::move(job));
    return true;
}

std::optional<MainExecutor::TimerId> MainExecutor::Reference::postAfter(std::chrono::milliseconds delay, Job job) const {
    std::shared_lock lock(lifeline_->mutex);
    if (lifeline_->executor == nullptr) {
        return std::nullopt;
    }
    return lifeline_->executor->postAfter(delay, std::move(job));
}

void MainExecutor::Reference::cancel(TimerId timer) const {
    std::shared_lock lock(lifeline_->mutex);
    if (lifeline_->executor != nullptr) {
        lifeline_->executor->cancel(timer);
    }
}

} // namespace flowkeep
