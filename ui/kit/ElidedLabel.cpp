#include "ui/kit/ElidedLabel.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QTextLayout>

using namespace Qt::StringLiterals;

namespace quillon {

ElidedLabel::ElidedLabel(const QString& text, int maximumLines, QWidget* parent)
    : QWidget(parent)
    , m_text(text)
    , m_maximumLines(qMax(1, maximumLines)) {
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void ElidedLabel::setText(const QString& text) {
    if (m_text == text) {
        return;
    }
    m_text = text;
    updateGeometry();
    update();
}

QStringList ElidedLabel::visibleLines(int width) const {
    QStringList result;
    if (width <= 0) {
        return result;
    }
    const QFontMetrics metrics(font());
    // Every paragraph wraps on its own; the line budget runs across them.
    const QStringList paragraphs = m_text.split(u'\n');
    for (qsizetype p = 0; p < paragraphs.size(); ++p) {
        const QString& paragraph = paragraphs[p];
        QTextLayout layout(paragraph, font());
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        while (true) {
            QTextLine line = layout.createLine();
            if (!line.isValid()) {
                break;
            }
            line.setLineWidth(width);
            const bool lastAllowed = result.size() == m_maximumLines - 1;
            const int end = line.textStart() + line.textLength();
            const bool moreText = end < paragraph.size() || p + 1 < paragraphs.size();
            if (lastAllowed && moreText) {
                const QString rest = paragraph.mid(line.textStart());
                // The ellipsis is part of the text to fit, so it shows even when the rest of
                // this paragraph fits and only later paragraphs are cut.
                const QString elided =
                    metrics.elidedText(rest + u"\u2026"_s, Qt::ElideRight, width);
                result.append(elided);
                layout.endLayout();
                return result;
            }
            QString lineText = paragraph.mid(line.textStart(), line.textLength());
            while (lineText.endsWith(u' ')) {
                lineText.chop(1);
            }
            result.append(lineText);
        }
        layout.endLayout();
        if (result.size() >= m_maximumLines) {
            return result;
        }
    }
    return result;
}

int ElidedLabel::heightForWidth(int width) const {
    const int lines = qMax(1, int(visibleLines(width).size()));
    return lines * QFontMetrics(font()).lineSpacing();
}

QSize ElidedLabel::sizeHint() const {
    const QFontMetrics metrics(font());
    const int width = qMin(metrics.horizontalAdvance(m_text), 400);
    return {width, heightForWidth(qMax(width, 1))};
}

QSize ElidedLabel::minimumSizeHint() const {
    return {0, QFontMetrics(font()).lineSpacing()};
}

void ElidedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(palette().color(foregroundRole()));
    const QFontMetrics metrics(font());
    int y = metrics.ascent();
    for (const QString& line : visibleLines(width())) {
        painter.drawText(0, y, line);
        y += metrics.lineSpacing();
    }
}

void ElidedLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        updateGeometry();
    }
    QWidget::changeEvent(event);
}

} // namespace quillon
