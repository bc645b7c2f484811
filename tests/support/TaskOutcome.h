#pragma once

#include "ServiceError.h"

#include <QCoroTask>
#include <QEventLoop>
#include <QString>
#include <QTimer>
#include <chrono>
#include <exception>
#include <optional>

namespace quillon::testsupport {

// How a coroutine ended, for tests: its value or the exception it threw. `finished` is false
// only when it did not end within the safety limit, so a broken test fails instead of hanging.
template <typename T> struct TaskOutcome {
    bool finished = false;
    std::optional<T> value;
    std::exception_ptr error;

    bool succeeded() const { return finished && !error; }

    // The description of a ServiceError, what() of any other exception, empty when none.
    QString description() const {
        if (!error) {
            return {};
        }
        try {
            std::rethrow_exception(error);
        } catch (const ServiceError& serviceError) {
            return serviceError.description();
        } catch (const std::exception& other) {
            return QString::fromUtf8(other.what());
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

namespace detail {

template <typename T>
QCoro::Task<> capture(QCoro::Task<T> task,
                      TaskOutcome<std::conditional_t<std::is_void_v<T>, Nothing, T>>& outcome,
                      QEventLoop& loop, bool& done) {
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
    done = true;
    loop.quit();
}

} // namespace detail

// Runs the event loop until `task` ends (or the safety limit passes) and returns how it ended.
template <typename T>
TaskOutcome<std::conditional_t<std::is_void_v<T>, Nothing, T>>
awaitOutcome(QCoro::Task<T> task, std::chrono::milliseconds limit = std::chrono::seconds(120)) {
    TaskOutcome<std::conditional_t<std::is_void_v<T>, Nothing, T>> outcome;
    QEventLoop loop;
    bool done = false;
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    auto running = detail::capture(std::move(task), outcome, loop, done);
    if (!done) {
        loop.exec();
    }
    return outcome;
}

} // namespace quillon::testsupport
