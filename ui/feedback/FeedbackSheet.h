#pragma once

#include "core/app/AppTelemetry.h"
#include "core/model/TelemetrySink.h"

#include <QDialog>
#include <functional>

namespace quillon {

class FeedbackFlow;
class FeedbackView;
class LinkedInSessionStore;

// The feedback form in a window-modal sheet of its own. Closing only hides it, so what was
// typed and picked is there again at the next opening until it is sent; the opener keeps the
// sheet. Closing it does not stop a send under way. It opens centred over its window and
// within it, the form scrolling when the window is too low for all of it.
class FeedbackSheet : public QDialog {
    Q_OBJECT

public:
    // Between the sheet and each edge of its window, room for the sheet's own title bar too.
    static constexpr int windowInset = 24;
    static constexpr QSize minimumSheetSize{400, 360};

    FeedbackSheet(LinkedInSessionStore& sessionStore, FeedbackFlow& feedbackFlow,
                  TelemetrySink telemetry = sendTelemetryEvent, QWidget* parent = nullptr);

    FeedbackView* form() const { return m_form; }

    // Opens the sheet unless it is open already, and reports the opening to `telemetry`.
    // `closed` is told when this opening ends, while `receiver` exists: a sheet shared by
    // several openers tells only the one that opened it.
    void present(QObject* receiver, std::function<void()> closed, const TelemetrySink& telemetry);

    void setVisible(bool visible) override;

    // The room its window leaves it: the window less the inset on every side, else the screen's.
    QSize room() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fitWithinWindow();

    FeedbackView* m_form;
};

} // namespace quillon
