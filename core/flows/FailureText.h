#pragma once

#include <QString>
#include <exception>

namespace quillon {

// What a status line says for a failed request: a backend client's own wording, else what()
// of any other exception.
QString failureText(const std::exception& error);

} // namespace quillon
