#include "ui/kit/ScrollPane.h"

#include "ui/kit/Metrics.h"
#include "ui/kit/Theme.h"

#include <QVBoxLayout>

namespace quillon {

ScrollPane::ScrollPane(int spacing, QWidget* parent)
    : QScrollArea(parent)
    , m_content(new QWidget)
    , m_column(new QVBoxLayout(m_content)) {
    setFrameShape(QFrame::NoFrame);
    // Not a stop of its own for Tab, and a click on the page leaves the focus where it was.
    setFocusPolicy(Qt::NoFocus);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    QPalette page = palette();
    page.setColor(QPalette::Window, Theme::background());
    setPalette(page);
    viewport()->setPalette(page);
    viewport()->setAutoFillBackground(true);
    m_content->setPalette(page);
    m_content->setAutoFillBackground(true);

    m_column->setContentsMargins(Metrics::defaultPadding, Metrics::defaultPadding,
                                 Metrics::defaultPadding, Metrics::defaultPadding);
    m_column->setSpacing(spacing);
    m_column->setAlignment(Qt::AlignTop);
    setWidget(m_content);
}

} // namespace quillon
