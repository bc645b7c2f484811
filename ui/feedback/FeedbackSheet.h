#pragma once

#include "core/app/AppTelemetry.h"
#include "core/app/TelemetrySink.h"

#include <QDialog>

namespace quillon {

class FeedbackService;
class FeedbackView;
class LinkedInSessionStore;

// The feedback form in a window-modal sheet of its own. Closing only hides it, so what was
// typed and picked is there again at the next opening until it is sent; the opener keeps the
// sheet. Closing it does not stop a send under way.
class FeedbackSheet : public QDialog {
    Q_OBJECT

public:
    FeedbackSheet(LinkedInSessionStore& sessionStore, FeedbackService& feedbackService,
                  TelemetrySink telemetry = sendTelemetryEvent, QWidget* parent = nullptr);

    FeedbackView* form() const { return m_form; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    FeedbackView* m_form;
};

} // namespace quillon
