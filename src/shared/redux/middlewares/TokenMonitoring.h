#pragma once

#include "flowkeep/MainExecutor.h"
#include "flowkeep/SerialExecutor.h"
#include "shared/pkcs11/Pkcs11ManagerProtocol.h"
#include "shared/redux/DebouncedCollector.h"
#include "shared/redux/TokenMonitoringEvent.h"
#include "shared/redux/middlewares/MiddlewareSupport.h"
#include "shared/redux/middlewares/TokenInfoReading.h"

#include <atomic>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>

namespace keyvane {

// Shared by the start and stop middlewares of one store.
//
// Runs: which monitoring run may still deliver its lists, counted on the main thread as the
// store's reducer counts them (see TokenMonitoringRun). Each list carries its run, and the
// reducer drops lists of a run that has ended; the gate only spares yielding them.
//
// Commands: the manager's startMonitoring and stopMonitoring calls run one at a time on one
// queue, in the order the actions were sent, so a stop never reaches the manager after a newer
// start (which would end the new run's stream).
class TokenMonitoringGate {
public:
    TokenMonitoringGate() : commands_(std::make_unique<flowkeep::SerialExecutor>("token-monitoring")) {}

    // On the main thread.
    TokenMonitoringRun begin() {
        const auto run = nextTokenMonitoringRun(current_.load());
        current_.store(run);
        return run;
    }
    void retire() { current_.store(nextTokenMonitoringRun(current_.load())); }
    bool isCurrent(TokenMonitoringRun run) const { return current_.load() == run; }

    // Queues a call to the manager behind those queued before it. A command that cannot be
    // queued any more (the store is going away) is dropped, and with it its stream's producer.
    void command(std::function<void()> call) { (void)commands_->post(std::move(call)); }

private:
    std::atomic<TokenMonitoringRun> current_{0};
    std::unique_ptr<flowkeep::SerialExecutor> commands_;
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
                    sink.yield(typename Action::receiveTokenEvents{std::move(events), run});
                }
            });
        // The manager is told to start in its turn among the start and stop commands; the
        // events are then read on the pool, since a run lasts as long as the window is open.
        gate_->command([manager = pkcsManager_, collector, ended, sink = std::move(sink)] {
            std::shared_ptr<Pkcs11TokenEventStream> events;
            try {
                events = std::make_shared<Pkcs11TokenEventStream>(manager->startMonitoring());
            } catch (...) {
                endRun(*collector, *ended, sink, std::current_exception());
                return;
            }
            flowkeep::TaskPool::shared().spawn([manager, collector, ended, sink, events] {
                std::exception_ptr failure;
                try {
                    while (const auto event = events->next()) {
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
                } catch (...) {
                    failure = std::current_exception();
                }
                endRun(*collector, *ended, sink, failure);
            });
        });
        return stream;
    }

private:
    // The list still open is dropped before the stream finishes, so nothing of this run touches
    // the main executor once its end can be seen.
    static void endRun(DebouncedCollector<TokenMonitoringEvent>& collector, std::atomic<bool>& ended,
                       const flowkeep::ActionSink<Action>& sink, const std::exception_ptr& failure) {
        ended.store(true);
        collector.cancel();
        if (failure) {
            try {
                std::rethrow_exception(failure);
            } catch (...) {
                yieldCurrentError<Action>(sink);
            }
        }
        sink.finish();
    }

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
        auto [stream, sink] = flowkeep::ActionStream<Action>::make();
        gate_->command([manager = pkcsManager_, sink = std::move(sink)] {
            manager->stopMonitoring();
            sink.finish();
        });
        return std::move(stream);
    }

private:
    std::shared_ptr<Pkcs11ManagerProtocol> pkcsManager_;
    std::shared_ptr<TokenMonitoringGate> gate_;
};

} // namespace keyvane
