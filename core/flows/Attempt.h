#pragma once

#include "core/flows/FailureText.h"

#include <QCoroTask>
#include <QString>
#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

namespace quillon {

// How an awaited step ended: its value, or the words a status line gives its failure.
template <typename T> struct Attempt {
    struct Done {};
    std::optional<std::conditional_t<std::is_void_v<T>, Done, T>> value;
    std::optional<QString> failure;
};

// Awaits `task` and hands back how it ended instead of throwing. A flow awaits its steps
// through this alone: GCC 12 destroys the temporaries of a co_await expression twice when the
// awaited task throws, and this one never does, while the task it awaits is a named object.
template <typename T> QCoro::Task<Attempt<T>> attempt(QCoro::Task<T> task) {
    Attempt<T> outcome;
    try {
        if constexpr (std::is_void_v<T>) {
            co_await std::move(task);
            outcome.value.emplace();
        } else {
            outcome.value = co_await std::move(task);
        }
    } catch (const std::exception& error) {
        outcome.failure = failureText(error);
    }
    co_return outcome;
}

} // namespace quillon
