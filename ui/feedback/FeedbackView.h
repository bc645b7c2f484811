#pragma once

#include "core/app/AppTelemetry.h"
#include "core/model/FeedbackImageAttachment.h"
#include "core/model/FeedbackImageLoader.h"
#include "core/model/FeedbackSenderIdentity.h"
#include "core/model/TelemetrySink.h"
#include "ui/kit/FocusReturn.h"

#include <QFileDialog>
#include <QList>
#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QVBoxLayout;

namespace quillon {

class FeedbackFlow;
class LinkedInSessionStore;
class PrimaryButton;
class ScrollPane;
class SecondaryButton;
class StatusLine;

// The feedback form: a title, a message and up to five images, sent to the backend with the
// connected member as the sender. The picked files are listed, each with a way to remove it;
// the feedback service reads and encodes them off the main thread, and the latest selection wins.
class FeedbackView : public QWidget {
    Q_OBJECT

public:
    static constexpr int maximumImages = 5;

    FeedbackView(LinkedInSessionStore& sessionStore, FeedbackFlow& feedbackFlow,
                 TelemetrySink telemetry = sendTelemetryEvent, QWidget* parent = nullptr);
    ~FeedbackView() override;

    // The whole form without scrolling, at the width a sheet gives it when there is room.
    QSize sizeHint() const override;

    // What "Close" does: closes the sheet.
    void setDismiss(std::function<void()> dismiss) { m_dismiss = std::move(dismiss); }

    QString title() const;
    QString message() const;
    const QStringList& selectedImages() const { return m_selectedImages; }
    const QList<FeedbackImageAttachment>& attachments() const { return m_attachments; }
    bool isSending() const;
    const QString& statusMessage() const { return m_statusMessage; }
    // None while signed out.
    std::optional<FeedbackSenderIdentity> senderIdentity() const;

    // The open image picker, else null.
    QFileDialog* imagePicker() const { return m_picker; }
    void openImagePicker();
    // The picker's answer, added to the selection (a file already picked is not added twice).
    // More than five in all is refused with a message and the selection stays as it was.
    void pickImages(const QStringList& files);
    void removeImage(qsizetype index);

    // Starts the send and returns at once.
    void send();

    // "1 image attached", "3 images attached".
    static QString attachmentCaption(qsizetype count);
    static QString tooManyImagesMessage();
    // What the status line says of picked files that are not files (a pipe, a device, a
    // folder), by name; empty when there are none.
    static QString refusedFilesMessage(const QStringList& names);

Q_SIGNALS:
    void attachmentsChanged();
    // A load finished after a newer selection had been made; its result was dropped.
    void loadDropped();
    void isSendingChanged(bool sending);
    void statusMessageChanged();

protected:
    void focusInEvent(QFocusEvent* event) override;

private:
    void loadAttachments();
    void attachmentsLoaded(quint64 selection, FeedbackImageLoad load);
    // Empties the form once what it held has arrived.
    void sendDidSucceed();

    QWidget* header();
    QWidget* welcomeCard();
    QWidget* form();
    QWidget* links();
    void setSelectedImages(QStringList files);
    void setAttachments(QList<FeedbackImageAttachment> attachments);
    void showRefusedFiles(const QStringList& refused);
    void setStatusMessage(const QString& message);
    void setSending(bool sending);
    void refreshImageList();

    LinkedInSessionStore& m_sessionStore;
    FeedbackFlow& m_feedbackFlow;
    const TelemetrySink m_telemetry;
    std::function<void()> m_dismiss;

    QStringList m_selectedImages;
    // Counts selections; a load applies its result only while its selection is the latest.
    quint64 m_selection = 0;
    QList<FeedbackImageAttachment> m_attachments;
    QString m_statusMessage;
    // The refusal the status line shows for the current selection, so a later selection
    // without one clears it and leaves other messages alone.
    QString m_refusalMessage;

    ScrollPane* m_pane = nullptr;
    QLineEdit* m_title = nullptr;
    QPlainTextEdit* m_message = nullptr;
    SecondaryButton* m_attachButton = nullptr;
    QWidget* m_imageList = nullptr;
    QVBoxLayout* m_imageRows = nullptr;
    QLabel* m_caption = nullptr;
    StatusLine* m_status = nullptr;
    PrimaryButton* m_sendButton = nullptr;
    QPointer<QFileDialog> m_picker;
    FocusReturn m_sendFocus;
};

} // namespace quillon
