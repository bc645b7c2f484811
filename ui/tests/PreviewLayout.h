#pragma once

#include "ui/editor/PreviewText.h"
#include "ui/kit/TextLabel.h"
#include "ui/theme/Theme.h"
#include "ui/theme/Typography.h"

#include <QStringList>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

namespace quillon::testing {

// Every line of a preview as laid out: where its text starts and ends, where it sits and how
// wide it draws, so two previews compare equal only when they show the same lines.
inline QStringList previewLines(const PreviewText& preview) {
    QStringList lines;
    const QTextDocument& document = preview.document();
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QTextLayout* layout = block.layout();
        const QPointF origin = layout->position();
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            lines.append(QStringLiteral("%1+%2 at %3,%4 width %5")
                             .arg(block.position() + line.textStart())
                             .arg(line.textLength())
                             .arg(origin.x() + line.x())
                             .arg(origin.y() + line.y())
                             .arg(line.naturalTextWidth()));
        }
    }
    return lines;
}

// Runs the event loop until the preview has laid out every line.
inline bool settle(const PreviewText& preview) {
    return QTest::qWaitFor([&] { return !preview.isLayingOut(); }, 20000);
}

// A preview styled as the Editor screen's, given `text` at once at `width`, every line laid out.
struct FreshPreview {
    FreshPreview(const QString& text, int width) {
        setTextStyle(&preview, quillon::font(TextStyle::body), Theme::ink());
        preview.setText(text);
        preview.resize(width, preview.heightForWidth(width));
        settle(preview);
        preview.resize(width, preview.heightForWidth(width));
    }
    PreviewText preview;
};

} // namespace quillon::testing
