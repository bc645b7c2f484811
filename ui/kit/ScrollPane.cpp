#include "ui/kit/ScrollPane.h"

#include "ui/theme/Metrics.h"
#include "ui/theme/Theme.h"

#include <QEvent>
#include <QScrollBar>
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

    // The page colour goes on the viewport and the content, not on the area itself: its scroll
    // bars keep the window's palette (whose window colour is the page's too). The style keeps
    // what it draws of a scroll bar under the palette's cache key, and a palette set here would
    // have a new key in every pane, adding drawings to that cache at every visit of a section.
    QPalette page = palette();
    page.setColor(QPalette::Window, Theme::background());
    viewport()->setPalette(page);
    viewport()->setAutoFillBackground(true);
    m_content->setPalette(page);
    m_content->setAutoFillBackground(true);

    m_column->setSpacing(spacing);
    m_column->setAlignment(Qt::AlignTop);
    setWidget(m_content);
    verticalScrollBar()->installEventFilter(this);
    keepContentWidth();
}

bool ScrollPane::eventFilter(QObject* watched, QEvent* event) {
    if (watched == verticalScrollBar() &&
        (event->type() == QEvent::Show || event->type() == QEvent::Hide)) {
        keepContentWidth();
    }
    return QScrollArea::eventFilter(watched, event);
}

int ScrollPane::scrollBarRoom() const {
    // What the scroll area gives its bar beside the viewport.
    return verticalScrollBar()->sizeHint().width();
}

QMargins ScrollPane::barMargins(int top, int bottom) const {
    // The page's column always ends the scroll bar's room short of the pane's right edge.
    return {Metrics::defaultPadding, top, Metrics::defaultPadding + scrollBarRoom(), bottom};
}

void ScrollPane::keepContentWidth() {
    // The scroll bar takes its width from the page when it appears; without it, the same
    // room stays empty, so the cards never move sideways as the content grows or shrinks.
    const int gutter = verticalScrollBar()->isVisibleTo(this) ? 0 : scrollBarRoom();
    m_column->setContentsMargins(Metrics::defaultPadding, Metrics::defaultPadding,
                                 Metrics::defaultPadding + gutter, Metrics::defaultPadding);
}

} // namespace quillon
