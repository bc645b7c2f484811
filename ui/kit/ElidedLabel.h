#pragma once

#include <QString>
#include <QWidget>

namespace quillon {

// Wrapped text cut to a number of lines, the last shown line ending in an ellipsis when text
// remains. Height follows the width, like a word-wrapped QLabel.
class ElidedLabel : public QWidget {
    Q_OBJECT

public:
    explicit ElidedLabel(const QString& text, int maximumLines, QWidget* parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString& text);
    int maximumLines() const { return m_maximumLines; }
    // The lines shown at `width`, the last one elided when text was cut.
    QStringList visibleLines(int width) const;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QString m_text;
    int m_maximumLines;
};

} // namespace quillon
