#pragma once

#include <QObject>
#include <QPointer>
#include <utility>

namespace quillon {

// `callback`, called only while `context` exists: a flow that outlives the view which started
// it still reaches that view while it is there, and nothing once it is gone.
template <typename Callback> auto whileAlive(QObject* context, Callback callback) {
    return [context = QPointer<QObject>(context),
            callback = std::move(callback)](auto&&... arguments) {
        if (context) {
            callback(std::forward<decltype(arguments)>(arguments)...);
        }
    };
}

} // namespace quillon
