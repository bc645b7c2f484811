#include "ui/feedback/FeedbackView.h"

#include "core/backend/FeedbackService.h"
#include "core/flows/FeedbackFlow.h"
#include "core/storage/LinkedInSessionStore.h"
#include "ui/feedback/AttachImagesButton.h"
#include "ui/kit/CardSurface.h"
#include "ui/kit/LinkButton.h"
#include "ui/kit/PrimaryButton.h"
#include "ui/kit/ProductLinks.h"
#include "ui/kit/ScrollPane.h"
#include "ui/kit/SecondaryButton.h"
#include "ui/kit/StatusLine.h"
#include "ui/kit/Surface.h"
#include "ui/kit/TextLabel.h"
#include "ui/theme/Metrics.h"
#include "ui/theme/Symbols.h"
#include "ui/theme/Theme.h"
#include "ui/theme/Typography.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFocusEvent>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace quillon {
namespace {

constexpr int messageMinimumHeight = 180;
constexpr int fieldPadding = 8;
// The sheet's width when the window has room for it.
constexpr int preferredWidth = 520;
constexpr int removeIconSize = 14;

// The white, rounded and outlined box of the form's text fields, `field` inside it.
Surface* fieldBox(QWidget* field) {
    auto* box = new Surface(Qt::white);
    box->setCornerRadius(Metrics::cornerRadius);
    box->setStroke(Theme::hairline());
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(fieldPadding, fieldPadding, fieldPadding, fieldPadding);
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, Theme::ink());
    field->setPalette(palette);
    field->setFont(quillon::font(TextStyle::body));
    // The keyboard's focus shows around the box, not inside it.
    field->setProperty("focusRingFrame", QVariant::fromValue<QObject*>(box));
    field->setProperty("focusRingRadius", Metrics::cornerRadius);
    layout->addWidget(field);
    return box;
}

LinkButton* link(const QString& title, const QUrl& url) {
    auto* link = new LinkButton(title, url, Qt::black);
    link->setFont(quillon::font(TextStyle::subheadline));
    return link;
}

} // namespace

FeedbackView::FeedbackView(LinkedInSessionStore& sessionStore, FeedbackFlow& feedbackFlow,
                           TelemetrySink telemetry, QWidget* parent)
    : QWidget(parent)
    , m_sessionStore(sessionStore)
    , m_feedbackFlow(feedbackFlow)
    , m_telemetry(std::move(telemetry)) {
    setObjectName(u"feedbackForm"_s);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* pane = new ScrollPane(16);
    m_pane = pane;
    pane->setAccessibleName(u"Feedback"_s);
    // Its controls take the focus and are scrolled into view; the frame itself need not.
    pane->setFocusPolicy(Qt::NoFocus);
    pane->column()->addWidget(header());
    pane->column()->addWidget(welcomeCard());
    pane->column()->addWidget(form());
    pane->column()->addWidget(links());
    layout->addWidget(pane);
    refreshImageList();
    connect(&m_feedbackFlow, &FeedbackFlow::sendingChanged, this, &FeedbackView::setSending);
    connect(&m_feedbackFlow, &FeedbackFlow::statusMessageChanged, this,
            &FeedbackView::setStatusMessage);
    connect(&m_feedbackFlow, &FeedbackFlow::sent, this, &FeedbackView::sendDidSucceed);
    // A send started from an earlier form is still running.
    if (m_feedbackFlow.isSending()) {
        setSending(true);
    }
}

void FeedbackView::focusInEvent(QFocusEvent* event) {
    // The sheet opens ready for typing. Not a focus proxy: Tab would treat the form as one
    // control and go from the last link straight to the title, past "Close".
    QWidget::focusInEvent(event);
    m_title->setFocus(event->reason());
}

FeedbackView::~FeedbackView() = default;

QSize FeedbackView::sizeHint() const {
    // The whole form without scrolling, at the width it has when the window leaves room.
    const QWidget* page = m_pane->widget();
    const int pageWidth = preferredWidth - m_pane->scrollBarRoom();
    const int height =
        page->hasHeightForWidth() ? page->heightForWidth(pageWidth) : page->sizeHint().height();
    return {preferredWidth, height};
}

QWidget* FeedbackView::header() {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(
        textLabel(u"Feedback"_s, quillon::font(TextStyle::title2, QFont::DemiBold), Theme::ink()),
        0, Qt::AlignVCenter);
    layout->addStretch(1);
    auto* close = new SecondaryButton(u"Close"_s);
    close->setObjectName(u"closeButton"_s);
    // Sized to its label beside the heading, not the width of the form.
    close->setPadding(14, 6);
    close->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(close, &QPushButton::clicked, this, [this] {
        if (m_dismiss) {
            m_dismiss();
        }
    });
    layout->addWidget(close, 0, Qt::AlignVCenter);
    return row;
}

QWidget* FeedbackView::welcomeCard() {
    auto* column = new QVBoxLayout;
    Surface* card = cardSurface(u"welcomeCard"_s, column, 10);
    column->addWidget(
        textLabel(u"Welcome"_s, quillon::font(TextStyle::title2, QFont::DemiBold), Theme::ink()));
    QLabel* text = textLabel(
        u"We're open to your thoughts to make this app bring you more, so don't hesitate to share "
        "your ideas, feedback on app work, or whatever you may find insightful."_s,
        quillon::font(TextStyle::body), Theme::secondaryInk());
    text->setWordWrap(true);
    column->addWidget(text);
    return card;
}

QWidget* FeedbackView::form() {
    auto* box = new QWidget;
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);

    // The title and the message in boxes of one shape, their text starting at the same inset.
    m_title = new QLineEdit;
    m_title->setObjectName(u"titleField"_s);
    m_title->setPlaceholderText(u"Title"_s);
    m_title->setAccessibleName(u"Title"_s);
    m_title->setFrame(false);
    // A frameless line keeps 2 px before its text, the message's document 4.
    m_title->setTextMargins(2, 0, 2, 0);
    Surface* titleBox = fieldBox(m_title);
    titleBox->setObjectName(u"titleBox"_s);
    column->addWidget(titleBox);

    m_message = new QPlainTextEdit;
    m_message->setObjectName(u"messageEditor"_s);
    m_message->setAccessibleName(u"Message"_s);
    // Its name in sight too, as the title field shows its own.
    m_message->setPlaceholderText(u"Message"_s);
    m_message->setFrameShape(QFrame::NoFrame);
    // Tab leaves the editor, so the form is usable from the keyboard alone.
    m_message->setTabChangesFocus(true);
    Surface* messageBox = fieldBox(m_message);
    messageBox->setObjectName(u"messageBox"_s);
    messageBox->setMinimumHeight(messageMinimumHeight);
    column->addWidget(messageBox);

    m_attachButton = new AttachImagesButton;
    m_attachButton->setObjectName(u"attachImagesButton"_s);
    m_attachButton->setAutoDefault(true);
    connect(m_attachButton, &QPushButton::clicked, this, &FeedbackView::openImagePicker);
    column->addWidget(m_attachButton);

    m_imageList = new QWidget;
    m_imageList->setObjectName(u"pickedImages"_s);
    m_imageRows = new QVBoxLayout(m_imageList);
    m_imageRows->setContentsMargins(0, 0, 0, 0);
    m_imageRows->setSpacing(4);
    column->addWidget(m_imageList);

    m_caption = textLabel({}, quillon::font(TextStyle::caption), Theme::secondaryInk());
    m_caption->setObjectName(u"attachmentCaption"_s);
    m_caption->hide();
    column->addWidget(m_caption);

    m_status = new StatusLine;
    m_status->setObjectName(u"statusLine"_s);
    column->addWidget(m_status);

    m_sendButton = new PrimaryButton(u"Send feedback"_s);
    m_sendButton->setObjectName(u"sendButton"_s);
    m_sendButton->setAutoDefault(true);
    connect(m_sendButton, &QPushButton::clicked, this, &FeedbackView::send);
    column->addWidget(m_sendButton);
    return box;
}

QWidget* FeedbackView::links() {
    auto* box = new QWidget;
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    LinkButton* talk = link(u"Talk instead"_s, ProductLinks::bookingPage());
    talk->setObjectName(u"talkInsteadLink"_s);
    LinkButton* privacy = link(u"Privacy policy"_s, ProductLinks::privacyPolicy());
    privacy->setObjectName(u"privacyPolicyLink"_s);
    column->addWidget(talk, 0, Qt::AlignLeft);
    column->addWidget(privacy, 0, Qt::AlignLeft);
    return box;
}

QString FeedbackView::title() const {
    return m_title->text();
}

QString FeedbackView::message() const {
    return m_message->toPlainText();
}

std::optional<FeedbackSenderIdentity> FeedbackView::senderIdentity() const {
    const std::optional<LinkedInToken>& token = m_sessionStore.token();
    if (!token) {
        return std::nullopt;
    }
    return FeedbackSenderIdentity{token->profile.name, token->profile.memberID,
                                  token->profile.email};
}

QString FeedbackView::attachmentCaption(qsizetype count) {
    return QString::number(count) + (count == 1 ? u" image"_s : u" images"_s) + u" attached"_s;
}

QString FeedbackView::tooManyImagesMessage() {
    return u"Choose at most %1 images."_s.arg(maximumImages);
}

QString FeedbackView::refusedFilesMessage(const QStringList& names) {
    if (names.isEmpty()) {
        return {};
    }
    return names.join(u", "_s) + (names.size() == 1 ? u" is not a file"_s : u" are not files"_s) +
           u" and cannot be attached."_s;
}

void FeedbackView::openImagePicker() {
    if (m_picker) {
        m_picker->raise();
        return;
    }
    auto* picker = new QFileDialog(this, u"Attach images"_s);
    picker->setObjectName(u"imagePicker"_s);
    picker->setAttribute(Qt::WA_DeleteOnClose);
    picker->setFileMode(QFileDialog::ExistingFiles);
    picker->setAcceptMode(QFileDialog::AcceptOpen);
    picker->setNameFilter(
        u"Images (*.png *.jpg *.jpeg *.gif *.heic *.heif *.webp *.bmp *.tif *.tiff)"_s);
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    picker->setDirectory(QDir(pictures).exists() ? pictures : QDir::homePath());
    connect(picker, &QFileDialog::filesSelected, this, &FeedbackView::pickImages);
    m_picker = picker;
    picker->open();
}

void FeedbackView::pickImages(const QStringList& files) {
    QStringList selection = m_selectedImages;
    for (const QString& file : files) {
        const QString path = QFileInfo(file).absoluteFilePath();
        if (!selection.contains(path)) {
            selection.append(path);
        }
    }
    if (selection.size() > maximumImages) {
        setStatusMessage(tooManyImagesMessage());
        return;
    }
    if (m_statusMessage == tooManyImagesMessage()) {
        setStatusMessage({});
    }
    if (selection != m_selectedImages) {
        setSelectedImages(selection);
    }
}

void FeedbackView::removeImage(qsizetype index) {
    if (index < 0 || index >= m_selectedImages.size()) {
        return;
    }
    QStringList selection = m_selectedImages;
    selection.removeAt(index);
    setSelectedImages(selection);
}

void FeedbackView::setSelectedImages(QStringList files) {
    m_selectedImages = std::move(files);
    ++m_selection;
    refreshImageList();
    loadAttachments();
}

void FeedbackView::loadAttachments() {
    if (m_selectedImages.isEmpty()) {
        setAttachments({});
        showRefusedFiles({});
        return;
    }
    // The form's own child: a load that ends after the form is gone tells nothing.
    auto* watcher = new QFutureWatcher<FeedbackImageLoad>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, selection = m_selection] {
        watcher->deleteLater();
        if (!watcher->isCanceled()) {
            attachmentsLoaded(selection, watcher->result());
        }
    });
    watcher->setFuture(m_feedbackFlow.service().loadAttachments(m_selectedImages));
}

void FeedbackView::attachmentsLoaded(quint64 selection, FeedbackImageLoad load) {
    // An older selection that took longer must not replace what the user now has picked.
    if (m_selection != selection) {
        Q_EMIT loadDropped();
        return;
    }
    setAttachments(std::move(load.attachments));
    showRefusedFiles(load.refused);
}

void FeedbackView::showRefusedFiles(const QStringList& refused) {
    QStringList names;
    for (const QString& path : refused) {
        names.append(QFileInfo(path).fileName());
    }
    const QString message = refusedFilesMessage(names);
    if (!message.isEmpty()) {
        setStatusMessage(message);
    } else if (!m_statusMessage.isEmpty() && m_statusMessage == m_refusalMessage) {
        setStatusMessage({});
    }
    m_refusalMessage = message;
}

void FeedbackView::setAttachments(QList<FeedbackImageAttachment> attachments) {
    m_attachments = std::move(attachments);
    m_caption->setText(attachmentCaption(m_attachments.size()));
    m_caption->setVisible(!m_attachments.isEmpty());
    Q_EMIT attachmentsChanged();
}

void FeedbackView::refreshImageList() {
    // Where the focus was, so removing with the keyboard keeps it in the list.
    int focusedRow = -1;
    for (int i = 0; i < m_imageRows->count(); ++i) {
        QWidget* row = m_imageRows->itemAt(i)->widget();
        if (row && row->isAncestorOf(QApplication::focusWidget())) {
            focusedRow = i;
        }
    }
    while (QLayoutItem* item = m_imageRows->takeAt(0)) {
        if (QWidget* row = item->widget()) {
            row->hide();
            row->deleteLater();
        }
        delete item;
    }
    QPushButton* toFocus = nullptr;
    for (qsizetype i = 0; i < m_selectedImages.size(); ++i) {
        const QString name = QFileInfo(m_selectedImages[i]).fileName();
        auto* row = new QWidget;
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(6);
        QLabel* label = textLabel(name, quillon::font(TextStyle::subheadline), Theme::ink());
        label->setTextFormat(Qt::PlainText);
        label->setToolTip(m_selectedImages[i]);
        layout->addWidget(label, 1);
        auto* remove = new QPushButton;
        remove->setObjectName(u"removeImageButton"_s);
        remove->setAccessibleName(u"Remove "_s + name);
        remove->setToolTip(u"Remove "_s + name);
        remove->setAutoDefault(true);
        remove->setFlat(true);
        remove->setIcon(tintedSymbolIcon(Symbol::xmark, Theme::ink()));
        remove->setIconSize(QSize(removeIconSize, removeIconSize));
        connect(remove, &QPushButton::clicked, this, [this, i] { removeImage(i); });
        layout->addWidget(remove);
        m_imageRows->addWidget(row);
        if (focusedRow >= 0 && i == std::min<qsizetype>(focusedRow, m_selectedImages.size() - 1)) {
            toFocus = remove;
        }
    }
    // New widgets join the end of the tab chain; the rows belong between the picker button and
    // the send button.
    QWidget* previous = m_attachButton;
    for (QPushButton* remove : m_imageList->findChildren<QPushButton*>(u"removeImageButton"_s)) {
        if (m_imageRows->indexOf(remove->parentWidget()) >= 0) {
            QWidget::setTabOrder(previous, remove);
            previous = remove;
        }
    }
    QWidget::setTabOrder(previous, m_sendButton);
    m_imageList->setVisible(!m_selectedImages.isEmpty());
    if (focusedRow >= 0) {
        if (toFocus) {
            toFocus->setFocus(Qt::OtherFocusReason);
        } else {
            m_attachButton->setFocus(Qt::OtherFocusReason);
        }
    }
}

void FeedbackView::setStatusMessage(const QString& message) {
    m_statusMessage = message;
    m_status->setMessage(message);
    Q_EMIT statusMessageChanged();
}

bool FeedbackView::isSending() const {
    return m_feedbackFlow.isSending();
}

void FeedbackView::setSending(bool sending) {
    m_sendButton->setText(sending ? u"Sending..."_s : u"Send feedback"_s);
    m_sendFocus.setEnabled(m_sendButton, !sending);
    Q_EMIT isSendingChanged(sending);
}

void FeedbackView::send() {
    // Read now and handed over unchanged: the service trims and validates.
    m_feedbackFlow.send(title(), message(), senderIdentity(), m_attachments, m_telemetry);
}

void FeedbackView::sendDidSucceed() {
    m_title->clear();
    m_message->clear();
    setSelectedImages({});
}

} // namespace quillon
