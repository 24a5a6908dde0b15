#pragma once

#include "flowkeep/MainExecutor.h"
#include "shared/pkcs11/Pkcs11ManagerProtocol.h"
#include "shared/redux/DebouncedCollector.h"
#include "shared/redux/TokenMonitoringEvent.h"
#include "shared/redux/middlewares/MiddlewareSupport.h"
#include "shared/redux/middlewares/TokenInfoReading.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

namespace keyvane {

// Shared by the start and stop middlewares of one store: which monitoring run may still
// deliver its lists. Stopping (or starting again) retires the running one at once, on the
// main thread, so a list gathered before the stop never brings its tokens back after it.
class TokenMonitoringGate {
public:
    std::uint64_t begin() { return ++current_; }
    void retire() { ++current_; }
    bool isCurrent(std::uint64_t run) const { return current_.load() == run; }

private:
    std::atomic<std::uint64_t> current_{0};
};

// Turns the PKCS#11 manager's arrivals and removals into token events, gathered until
// 1000 ms pass without a new one, each list yielded as one receiveTokenEvents.
template <class Action>
class OnStartMonitoring final : public flowkeep::Middleware<Action> {
public:
    static constexpr std::chrono::milliseconds dueTime{1000};

    OnStartMonitoring(flowkeep::MainExecutor& executor, std::shared_ptr<TokenMonitoringGate> gate)
        : pkcsManager_(Dependencies::get(keyvane::pkcs11Manager)), executor_(executor), gate_(std::move(gate)) {}

    std::optional<flowkeep::ActionStream<Action>> process(const Action& action) override {
        if (!action.template is<typename Action::startMonitoring>()) {
            return std::nullopt;
        }
        const auto run = gate_->begin();
        auto made = flowkeep::ActionStream<Action>::make();
        auto stream = std::move(made.first);
        auto sink = std::move(made.second);
        auto ended = std::make_shared<std::atomic<bool>>(false);
        auto collector = std::make_shared<DebouncedCollector<TokenMonitoringEvent>>(
            executor_, dueTime, [sink, gate = gate_, run, ended](std::vector<TokenMonitoringEvent> events) {
                if (!ended->load() && gate->isCurrent(run)) {
                    sink.yield(typename Action::receiveTokenEvents{std::move(events)});
                }
            });
        flowkeep::TaskPool::shared().spawn([manager = pkcsManager_, &executor = executor_, collector, ended,
                                            sink = std::move(sink)]() mutable {
            try {
                const auto events = manager->startMonitoring();
                while (const auto event = events.next()) {
                    if (const auto* added = std::get_if<Pkcs11TokenEvent::added>(&event->value)) {
                        const auto token = manager->getToken(added->serial);
                        if (!token) {
                            // Gone again before it could be read (pulled out at once, or
                            // monitoring stopped meanwhile): nothing to show, keep watching.
                            continue;
                        }
                        collector->receive(TokenMonitoringEvent::addConnectedToken{readTokenInfo(*token)});
                    } else {
                        collector->receive(TokenMonitoringEvent::removeToken{event->serial()});
                    }
                }
                ended->store(true);
            } catch (...) {
                ended->store(true);
                yieldCurrentError<Action>(sink);
            }
            sink.finish();
            // The list still open is dropped; the collector lives on the main thread.
            executor.post([collector] { collector->cancel(); });
        });
        return stream;
    }

private:
    std::shared_ptr<Pkcs11ManagerProtocol> pkcsManager_;
    flowkeep::MainExecutor& executor_;
    std::shared_ptr<TokenMonitoringGate> gate_;
};

// Ends monitoring: the manager stops polling, and the running monitoring delivers nothing more.
template <class Action>
class OnStopMonitoring final : public flowkeep::Middleware<Action> {
public:
    explicit OnStopMonitoring(std::shared_ptr<TokenMonitoringGate> gate)
        : pkcsManager_(Dependencies::get(keyvane::pkcs11Manager)), gate_(std::move(gate)) {}

    std::optional<flowkeep::ActionStream<Action>> process(const Action& action) override {
        if (!action.template is<typename Action::stopMonitoring>()) {
            return std::nullopt;
        }
        gate_->retire();
        return flowkeep::runTask<Action>(
            [manager = pkcsManager_](const flowkeep::ActionSink<Action>&) { manager->stopMonitoring(); });
    }

private:
    std::shared_ptr<Pkcs11ManagerProtocol> pkcsManager_;
    std::shared_ptr<TokenMonitoringGate> gate_;
};

} // namespace keyvane
