#pragma once

#include "core/flows/FailureText.h"

#include <QCoroTask>
#include <QEventLoop>
#include <QString>
#include <QTimer>
#include <chrono>
#include <exception>
#include <memory>
#include <optional>
#include <type_traits>

namespace quillon::testsupport {

// How a coroutine ended, for tests: its value or the exception it threw. `finished` is false
// only when it did not end within the safety limit, so a broken test fails instead of hanging.
template <typename T> struct TaskOutcome {
    bool finished = false;
    std::optional<T> value;
    std::exception_ptr error;

    bool succeeded() const { return finished && !error; }

    // The words a status line gives the exception (failureText), empty when none.
    QString description() const {
        if (!error) {
            return {};
        }
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& thrown) {
            return failureText(thrown);
        }
        return {};
    }

    // The thrown exception when it is an `E`.
    template <typename E> std::optional<E> errorAs() const {
        if (!error) {
            return std::nullopt;
        }
        try {
            std::rethrow_exception(error);
        } catch (const E& typed) {
            return typed;
        } catch (...) {
        }
        return std::nullopt;
    }
};

struct Nothing {};

template <typename T>
using TaskOutcomeOf = TaskOutcome<std::conditional_t<std::is_void_v<T>, Nothing, T>>;

namespace detail {

// Shared with the capturing coroutine, which outlives awaitOutcome() when the limit passes and
// may still end later.
template <typename T> struct Awaiting {
    TaskOutcomeOf<T> outcome;
    QEventLoop loop;
};

template <typename T>
QCoro::Task<> capture(QCoro::Task<T> task, std::shared_ptr<Awaiting<T>> awaiting) {
    TaskOutcomeOf<T>& outcome = awaiting->outcome;
    try {
        if constexpr (std::is_void_v<T>) {
            co_await task;
            outcome.value = Nothing{};
        } else {
            outcome.value = co_await task;
        }
    } catch (...) {
        outcome.error = std::current_exception();
    }
    outcome.finished = true;
    awaiting->loop.quit();
}

} // namespace detail

// Runs the event loop until `task` ends (or the safety limit passes) and returns how it ended.
template <typename T>
TaskOutcomeOf<T> awaitOutcome(QCoro::Task<T> task,
                              std::chrono::milliseconds limit = std::chrono::seconds(120)) {
    const auto awaiting = std::make_shared<detail::Awaiting<T>>();
    QTimer::singleShot(limit, &awaiting->loop, &QEventLoop::quit);
    auto running = detail::capture(std::move(task), awaiting);
    if (!awaiting->outcome.finished) {
        awaiting->loop.exec();
    }
    return std::move(awaiting->outcome);
}

} // namespace quillon::testsupport
