#include "ui/feedback/FeedbackSheet.h"

#include "ui/feedback/FeedbackView.h"
#include "ui/theme/Theme.h"

#include <QKeyEvent>
#include <QVBoxLayout>

namespace quillon {

FeedbackSheet::FeedbackSheet(LinkedInSessionStore& sessionStore, FeedbackService& feedbackService,
                             TelemetrySink telemetry, QWidget* parent)
    : QDialog(parent)
    , m_form(new FeedbackView(sessionStore, feedbackService, std::move(telemetry))) {
    setObjectName(u"feedbackSheet"_qs);
    setWindowTitle(u"Send feedback"_qs);
    setWindowModality(Qt::WindowModal);
    // A window of its own does not inherit the main window's light palette.
    setPalette(Theme::lightPalette());
    resize(520, 720);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_form);
    m_form->setDismiss([this] { reject(); });
    m_form->setFocus(Qt::OtherFocusReason);
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
