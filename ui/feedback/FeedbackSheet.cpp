#include "ui/feedback/FeedbackSheet.h"

#include "ui/feedback/FeedbackView.h"
#include "ui/theme/Theme.h"

#include <QKeyEvent>
#include <QScreen>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace quillon {

FeedbackSheet::FeedbackSheet(LinkedInSessionStore& sessionStore, FeedbackFlow& feedbackFlow,
                             TelemetrySink telemetry, QWidget* parent)
    : QDialog(parent)
    , m_form(new FeedbackView(sessionStore, feedbackFlow, std::move(telemetry))) {
    setObjectName(u"feedbackSheet"_s);
    setWindowTitle(u"Send feedback"_s);
    setWindowModality(Qt::WindowModal);
    // A window of its own does not inherit the main window's light palette.
    setPalette(Theme::lightPalette());
    setMinimumSize(minimumSheetSize);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_form);
    m_form->setDismiss([this] { reject(); });
    m_form->setFocus(Qt::OtherFocusReason);
    fitWithinWindow();
}

QSize FeedbackSheet::room() const {
    const QSize inset(2 * windowInset, 2 * windowInset);
    if (const QWidget* parent = parentWidget()) {
        return parent->window()->size() - inset;
    }
    return screen()->availableSize() - inset;
}

void FeedbackSheet::fitWithinWindow() {
    resize(m_form->sizeHint().boundedTo(room()).expandedTo(minimumSize()));
}

void FeedbackSheet::present(QObject* receiver, std::function<void()> closed,
                            const TelemetrySink& telemetry) {
    if (!isVisible()) {
        connect(this, &QDialog::finished, receiver, std::move(closed), Qt::SingleShotConnection);
        open();
    }
    report(telemetry, AppTelemetryEvent::feedbackOpened);
}

void FeedbackSheet::setVisible(bool visible) {
    if (visible && !isVisible()) {
        // The window may have changed size or place since the last opening; sized and placed
        // before the sheet is mapped, so it never shows anywhere else.
        fitWithinWindow();
        adjustPosition(parentWidget());
        if (QWidget* parent = parentWidget()) {
            // A window made smaller while the sheet is open takes the sheet with it.
            parent->window()->installEventFilter(this);
        }
    }
    QDialog::setVisible(visible);
}

bool FeedbackSheet::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && isVisible() && parentWidget() &&
        watched == parentWidget()->window()) {
        fitWithinWindow();
        adjustPosition(parentWidget());
    }
    return QDialog::eventFilter(watched, event);
}

void FeedbackSheet::keyPressEvent(QKeyEvent* event) {
    // A focused button takes Enter itself. Anywhere else (the title field) Enter would click
    // whichever button the dialog made its default, closing or sending the form unasked.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace quillon
