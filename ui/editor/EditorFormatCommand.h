#pragma once

namespace quillon {

// The editor toolbar's formatting commands. Character commands change the selected text only;
// line commands prefix every line the selection touches.
enum class EditorFormatCommand {
    bold,
    italic,
    strikethrough,
    underline,
    code,
    clear,
    bullets,
    numbered,
};

constexpr bool isLineCommand(EditorFormatCommand command) {
    return command == EditorFormatCommand::bullets || command == EditorFormatCommand::numbered;
}

} // namespace quillon
