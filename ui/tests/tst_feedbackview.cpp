#include "core/backend/FeedbackService.h"
#include "core/flows/FeedbackFlow.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TestBackend.h"
#include "ui/feedback/FeedbackSheet.h"
#include "ui/feedback/FeedbackView.h"
#include "ui/kit/FocusRing.h"
#include "ui/kit/ProductLinks.h"
#include "ui/tests/AppFixture.h"
#include "ui/tests/KeyboardWalk.h"
#include "ui/tests/RecordingBrowser.h"
#include "ui/window/MainSplitView.h"
#include "ui/window/MainWindow.h"

#include <QAccessible>
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMutex>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWaitCondition>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace quillon;
using namespace quillon::testing;
using namespace quillon::testsupport;
using Event = AppTelemetryEvent;

namespace {

QByteArray pngBytes() {
    QImage image(7, 5, QImage::Format_ARGB32);
    image.fill(QColor(200, 40, 90, 128));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// The form in its sheet over the app's container and the stand-in backend.
struct Form {
    QList<Event> events;
    TestBackend backend;
    AppFixture app{backend.baseURL()};
    QTemporaryDir images;
    // The container's flow, or one over a service whose images are read as a test says.
    std::unique_ptr<FeedbackService> ownService;
    std::unique_ptr<FeedbackFlow> ownFlow;
    FeedbackFlow& flow;
    // Closed, the sheet only hides; the fixture deletes it.
    QPointer<FeedbackSheet> sheet =
        new FeedbackSheet(app.session(), flow, [this](Event e) { events.append(e); });

    explicit Form(std::optional<FeedbackImageLoader::ReadFile> readImageFile = std::nullopt)
        : ownService(readImageFile ? std::make_unique<FeedbackService>(
                                         backend.baseURL(), http::defaultTimeout, *readImageFile)
                                   : nullptr)
        , ownFlow(ownService ? std::make_unique<FeedbackFlow>(*ownService) : nullptr)
        , flow(ownFlow ? *ownFlow : app.container.feedbackFlow()) {
        sheet->show();
        QVERIFY(QTest::qWaitForWindowExposed(sheet.data()));
    }
    ~Form() { delete sheet.data(); }

    FeedbackView* form() const { return sheet->form(); }
    QPushButton* button(const char* name) const {
        return sheet->findChild<QPushButton*>(QString::fromLatin1(name));
    }
    QLabel* label(const char* name) const {
        return sheet->findChild<QLabel*>(QString::fromLatin1(name));
    }
    QString image(const QString& name, const QByteArray& bytes) {
        QString path = images.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            qFatal("cannot write %s", qPrintable(path));
        }
        return path;
    }
    void type(const QString& title, const QString& message) {
        QTest::keyClicks(sheet->findChild<QLineEdit*>(u"titleField"_s), title);
        QTest::keyClicks(sheet->findChild<QPlainTextEdit*>(u"messageEditor"_s), message);
    }
    std::vector<standin::StandInBackend::ReceivedRequest> sent() {
        return backend->received("/api/feedback");
    }
    QJsonObject lastBody() {
        const auto requests = sent();
        return requests.empty()
                   ? QJsonObject()
                   : QJsonDocument::fromJson(QByteArray::fromStdString(requests.back().body))
                         .object();
    }
    QStringList filenames() const {
        QStringList names;
        for (const FeedbackImageAttachment& attachment : form()->attachments()) {
            names.append(attachment.filename);
        }
        return names;
    }
};

void makePipe(const QString& path) {
    if (::mkfifo(QFile::encodeName(path).constData(), 0600) != 0) {
        qFatal("mkfifo failed");
    }
}

// Reads one file name as a stalled network mount would: not a byte until released. Released
// in any case, so a failed test leaves no thread behind; other files are read for real.
class HeldRead {
public:
    explicit HeldRead(QString fileName)
        : m_state(std::make_shared<State>()) {
        m_state->fileName = std::move(fileName);
    }
    ~HeldRead() { release("late"); }
    HeldRead(const HeldRead&) = delete;
    HeldRead& operator=(const HeldRead&) = delete;

    FeedbackImageLoader::ReadFile reader() const {
        return [state = m_state](const QString& path) {
            if (QFileInfo(path).fileName() != state->fileName) {
                return FeedbackImageLoader::readImageFile(path);
            }
            QMutexLocker lock(&state->mutex);
            state->started = true;
            while (!state->released) {
                state->changed.wait(&state->mutex);
            }
            return ImageFileRead{ImageFileRead::Outcome::read, state->bytes};
        };
    }
    bool started() const {
        QMutexLocker lock(&m_state->mutex);
        return m_state->started;
    }
    void release(const QByteArray& bytes) {
        QMutexLocker lock(&m_state->mutex);
        if (m_state->released) {
            return;
        }
        m_state->released = true;
        m_state->bytes = bytes;
        m_state->changed.wakeAll();
    }

private:
    struct State {
        QString fileName;
        QMutex mutex;
        QWaitCondition changed;
        bool started = false;
        bool released = false;
        QByteArray bytes;
    };
    std::shared_ptr<State> m_state;
};

const char quitWhileReadingOption[] = "--quit-while-reading";

// The child of aReadThatNeverEndsDoesNotHoldTheQuit: picks `path` in the form and quits while
// its read may still be going, as the program does when the window is closed.
int quitWhileReading(int argc, char* argv[], const QString& path, bool neverAnswers) {
    QApplication app(argc, argv);
    // Never released: the process ends with the read still blocked.
    auto held = std::make_unique<HeldRead>(QFileInfo(path).fileName());
    {
        AppFixture fixture;
        FeedbackService service(QUrl(u"http://127.0.0.1:9/"_s), http::defaultTimeout,
                                neverAnswers ? held->reader() : FeedbackImageLoader::readImageFile);
        FeedbackFlow flow(service);
        FeedbackSheet sheet(fixture.session(), flow, [](Event) {});
        sheet.form()->pickImages({path});
        // Quits even when the wait ends with nothing read.
        [[maybe_unused]] const bool settled = QTest::qWaitFor(
            [&] { return held->started() || !sheet.form()->statusMessage().isEmpty(); });
    }
    [[maybe_unused]] HeldRead* stuck = held.release();
    return 0;
}

} // namespace

class TestFeedbackView : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void captionCountsTheAttachments_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("caption");
        QTest::newRow("one") << 1 << u"1 image attached"_s;
        QTest::newRow("two") << 2 << u"2 images attached"_s;
        QTest::newRow("five") << 5 << u"5 images attached"_s;
        QTest::newRow("none") << 0 << u"0 images attached"_s;
    }
    void captionCountsTheAttachments() {
        QFETCH(int, count);
        QFETCH(QString, caption);
        QCOMPARE(FeedbackView::attachmentCaption(count), caption);
    }

    void oneImageFromThePickerReadsInTheSingular() {
        Form f;
        QVERIFY(!f.label("attachmentCaption")->isVisible());
        const QString path = f.image(u"photo.png"_s, pngBytes());
        QTest::mouseClick(f.button("attachImagesButton"), Qt::LeftButton);
        QFileDialog* picker = f.form()->imagePicker();
        QVERIFY(picker);
        QCOMPARE(picker->fileMode(), QFileDialog::ExistingFiles);
        picker->selectFile(path);
        QMetaObject::invokeMethod(picker, "accept");

        QCOMPARE(f.form()->selectedImages(), QStringList{path});
        QTRY_COMPARE(f.filenames(), QStringList{u"feedback-1.jpg"_s});
        QCOMPARE(f.label("attachmentCaption")->text(), u"1 image attached"_s);
        QVERIFY(f.label("attachmentCaption")->isVisible());
        QCOMPARE(f.form()->attachments().at(0).content, pngBytes().toBase64());
    }

    void anUnreadableImageLeavesItsGap() {
        Form f;
        const QString first = f.image(u"a.jpg"_s, "first");
        const QString gone = f.image(u"b.jpg"_s, "second");
        const QString third = f.image(u"c.heic"_s, "third");
        // Picked, then gone before it could be read.
        QFile::remove(gone);
        f.form()->pickImages({first, gone, third});

        QTRY_COMPARE(f.filenames(), QStringList({u"feedback-1.jpg"_s, u"feedback-3.jpg"_s}));
        QCOMPARE(f.label("attachmentCaption")->text(), u"2 images attached"_s);
        QCOMPARE(f.form()->attachments().at(1).content, QByteArray("third").toBase64());
        QVERIFY(f.form()->statusMessage().isEmpty());

        f.type(u"Gaps"_s, u"Two of three"_s);
        QTest::mouseClick(f.button("sendButton"), Qt::LeftButton);
        QTRY_VERIFY(!f.form()->isSending());
        const QJsonArray sent = f.lastBody().value(u"attachments"_s).toArray();
        QCOMPARE(sent.size(), 2);
        QCOMPARE(sent.at(0).toObject().value(u"filename"_s).toString(), u"feedback-1.jpg"_s);
        QCOMPARE(sent.at(1).toObject().value(u"filename"_s).toString(), u"feedback-3.jpg"_s);
    }

    void aSixthImageIsRefusedAndTheSelectionStays() {
        Form f;
        QStringList four;
        for (int i = 1; i <= 4; ++i) {
            four.append(f.image(u"%1.png"_s.arg(i), QByteArray::number(i)));
        }
        f.form()->pickImages(four);
        QTRY_COMPARE(f.form()->attachments().size(), 4);

        // Picking one already listed adds nothing; two new ones would make six.
        f.form()->pickImages({four.at(0), f.image(u"5.png"_s, "5"), f.image(u"6.png"_s, "6")});
        QCOMPARE(f.form()->selectedImages(), four);
        QCOMPARE(f.form()->statusMessage(), u"Choose at most 5 images."_s);
        // Shown on the event loop's next turn, when a screen reader is told of it.
        QTRY_VERIFY(f.label("statusLine")->isVisible());
        QCOMPARE(f.form()->attachments().size(), 4);

        // One more fits, and the refusal goes.
        f.form()->pickImages({f.images.filePath(u"5.png"_s)});
        QCOMPARE(f.form()->selectedImages().size(), 5);
        QVERIFY(f.form()->statusMessage().isEmpty());
        QTRY_COMPARE(f.form()->attachments().size(), 5);
    }

    void removingImagesRenumbersAndRemovingAllClearsTheCaption() {
        Form f;
        const QStringList three = {f.image(u"a.png"_s, "a"), f.image(u"b.png"_s, "b"),
                                   f.image(u"c.png"_s, "c")};
        f.form()->pickImages(three);
        QTRY_COMPARE(f.form()->attachments().size(), 3);
        QList<QPushButton*> removes = f.sheet->findChildren<QPushButton*>(u"removeImageButton"_s);
        QCOMPARE(removes.size(), 3);
        QCOMPARE(removes.at(1)->accessibleName(), u"Remove b.png"_s);

        // The second goes: the picker's selection is now two, numbered afresh.
        QTest::mouseClick(removes.at(1), Qt::LeftButton);
        QCOMPARE(f.form()->selectedImages(), QStringList({three.at(0), three.at(2)}));
        QTRY_COMPARE(f.form()->attachments().size(), 2);
        QCOMPARE(f.filenames(), QStringList({u"feedback-1.jpg"_s, u"feedback-2.jpg"_s}));
        QCOMPARE(f.form()->attachments().at(1).content, QByteArray("c").toBase64());

        f.form()->removeImage(0);
        f.form()->removeImage(0);
        QVERIFY(f.form()->selectedImages().isEmpty());
        QVERIFY(f.form()->attachments().isEmpty());
        QVERIFY(!f.label("attachmentCaption")->isVisible());
        QVERIFY(!f.sheet->findChild<QWidget*>(u"pickedImages"_s)->isVisible());
    }

    void theLatestSelectionWinsOverASlowerEarlierOne() {
        // The first selection's file does not answer until released.
        HeldRead slow(u"slow.png"_s);
        Form f(slow.reader());
        f.form()->pickImages({f.image(u"slow.png"_s, "stale")});
        QTRY_VERIFY(slow.started());
        f.form()->removeImage(0);
        f.form()->pickImages({f.image(u"fresh.png"_s, "fresh")});
        QTRY_COMPARE(f.filenames(), QStringList{u"feedback-1.jpg"_s});
        QCOMPARE(f.form()->attachments().at(0).content, QByteArray("fresh").toBase64());
        // The window still paints while the read is stuck.
        QVERIFY(!f.sheet->grab().isNull());

        QSignalSpy dropped(f.form(), &FeedbackView::loadDropped);
        QSignalSpy changed(f.form(), &FeedbackView::attachmentsChanged);
        slow.release("stale");
        QTRY_COMPARE(dropped.count(), 1);
        QCOMPARE(changed.count(), 0);
        QCOMPARE(f.form()->attachments().at(0).content, QByteArray("fresh").toBase64());
    }

    void whatIsNotAFileIsRefusedWithAMessage_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        // Without a writer, a pipe blocks whoever opens it for reading.
        QTest::newRow("pipe") << u"pipe"_s << u"pipe.png is not a file and cannot be attached."_s;
        QTest::newRow("folder") << u"folder"_s
                                << u"folder.png is not a file and cannot be attached."_s;
        QTest::newRow("device") << u"device"_s << u"null is not a file and cannot be attached."_s;
    }
    void whatIsNotAFileIsRefusedWithAMessage() {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        Form f;
        QString odd = u"/dev/null"_s;
        if (kind == u"pipe"_s) {
            odd = f.images.filePath(u"pipe.png"_s);
            makePipe(odd);
        } else if (kind == u"folder"_s) {
            odd = f.images.filePath(u"folder.png"_s);
            QVERIFY(QDir().mkdir(odd));
        }
        const QString photo = f.image(u"photo.png"_s, pngBytes());
        f.form()->pickImages({odd, photo});

        // Left out like a file without data, and said so.
        QTRY_COMPARE(f.filenames(), QStringList{u"feedback-2.jpg"_s});
        QCOMPARE(f.form()->statusMessage(), message);
        QTRY_VERIFY(f.label("statusLine")->isVisible());
        QCOMPARE(f.label("statusLine")->text(), message);
        QVERIFY(!f.sheet->grab().isNull());

        // Once it is removed, the refusal goes with it.
        f.form()->removeImage(0);
        QTRY_COMPARE(f.filenames(), QStringList{u"feedback-1.jpg"_s});
        QVERIFY(f.form()->statusMessage().isEmpty());
    }

    void aReadThatNeverEndsDoesNotHoldTheQuit_data() {
        QTest::addColumn<bool>("neverAnswers");
        QTest::newRow("a pipe without writer") << false;
        QTest::newRow("a stalled mount") << true;
    }
    void aReadThatNeverEndsDoesNotHoldTheQuit() {
        QFETCH(bool, neverAnswers);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"stuck.png"_s);
        if (neverAnswers) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("bytes") == 5);
        } else {
            makePipe(path);
        }
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QString::fromLatin1(quitWhileReadingOption), path,
                     neverAnswers ? u"never"_s : u"real"_s});
        // A child held at its exit is killed when `child` goes.
        QVERIFY(child.waitForFinished(120000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
    }

    void aPngArrivesAsJpgWithItsBytesUnchanged() {
        Form f;
        f.app.session().save(tokenFor(u"m-7"_s, u"Grace Demo"_s));
        f.type(u"  Screenshot  "_s, u"See the picture"_s);
        f.form()->pickImages({f.image(u"screen.png"_s, pngBytes())});
        QTRY_COMPARE(f.form()->attachments().size(), 1);
        QTest::mouseClick(f.button("sendButton"), Qt::LeftButton);
        QTRY_VERIFY(!f.form()->isSending());

        QCOMPARE(f.sent().size(), 1u);
        const QJsonObject body = f.lastBody();
        const QJsonObject attachment = body.value(u"attachments"_s).toArray().at(0).toObject();
        QCOMPARE(attachment.value(u"filename"_s).toString(), u"feedback-1.jpg"_s);
        QCOMPARE(QByteArray::fromBase64(attachment.value(u"content"_s).toString().toLatin1()),
                 pngBytes());
        QCOMPARE(body.value(u"title"_s).toString(), u"Screenshot"_s);
        QCOMPARE(body.value(u"name"_s).toString(), u"Grace Demo"_s);
        QCOMPARE(body.value(u"linkedInId"_s).toString(), u"m-7"_s);
    }

    void aSuccessEmptiesTheFormAndKeepsTheSheet() {
        Form f;
        f.type(u"Idea"_s, u"More fonts"_s);
        f.form()->pickImages({f.image(u"a.png"_s, "a")});
        QTRY_COMPARE(f.form()->attachments().size(), 1);

        QPushButton* send = f.button("sendButton");
        QTest::mouseClick(send, Qt::LeftButton);
        QCOMPARE(send->text(), u"Sending..."_s);
        QVERIFY(!send->isEnabled());
        QTRY_VERIFY(!f.form()->isSending());

        QCOMPARE(f.form()->statusMessage(), u"Sent. Confirmation was emailed to you."_s);
        QCOMPARE(f.label("statusLine")->text(), u"Sent. Confirmation was emailed to you."_s);
        QVERIFY(f.form()->title().isEmpty());
        QVERIFY(f.form()->message().isEmpty());
        QVERIFY(f.form()->selectedImages().isEmpty());
        QVERIFY(f.form()->attachments().isEmpty());
        QVERIFY(!f.label("attachmentCaption")->isVisible());
        QCOMPARE(send->text(), u"Send feedback"_s);
        QVERIFY(send->isEnabled());
        QVERIFY(f.sheet && f.sheet->isVisible());
        QCOMPARE(f.events, QList<Event>{Event::feedbackSent});

        // Typing again does not clear the outcome.
        f.type(u"x"_s, u"y"_s);
        QCOMPARE(f.form()->statusMessage(), u"Sent. Confirmation was emailed to you."_s);
    }

    void aSignedOutSenderHasNoIdentity() {
        Form f;
        QCOMPARE(f.form()->senderIdentity(), std::nullopt);
        f.type({}, u"Anonymous note"_s);
        QTest::mouseClick(f.button("sendButton"), Qt::LeftButton);
        QTRY_VERIFY(!f.form()->isSending());
        const QJsonObject body = f.lastBody();
        QCOMPARE(body.value(u"name"_s).toString(), QString());
        QCOMPARE(body.value(u"linkedInId"_s).toString(), QString());
        QCOMPARE(body.value(u"email"_s).toString(), QString());
        QCOMPARE(body.value(u"message"_s).toString(), u"Anonymous note"_s);
    }

    void aFailedSendKeepsEverything_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QString>("status");
        QTest::addColumn<size_t>("requests");
        QTest::newRow("blank message")
            << u"   "_s << false << u"Feedback message is empty."_s << size_t(0);
        QTest::newRow("refused by the backend")
            << u"Hello"_s << true << u"Feedback is closed today."_s << size_t(1);
    }
    void aFailedSendKeepsEverything() {
        QFETCH(QString, message);
        QFETCH(bool, refused);
        QFETCH(QString, status);
        QFETCH(size_t, requests);
        Form f;
        if (refused) {
            f.backend->setFailure("/api/feedback", {503, "closed", "Feedback is closed today."});
        }
        f.type(u"Kept title"_s, message);
        f.form()->pickImages({f.image(u"a.png"_s, "a")});
        QTRY_COMPARE(f.form()->attachments().size(), 1);
        QTest::mouseClick(f.button("sendButton"), Qt::LeftButton);
        if (requests == 0) {
            // Refused before anything is sent: no wait.
            QVERIFY(!f.form()->isSending());
        } else {
            QTRY_VERIFY(!f.form()->isSending());
        }

        QCOMPARE(f.form()->statusMessage(), status);
        QCOMPARE(f.sent().size(), requests);
        QCOMPARE(f.form()->title(), u"Kept title"_s);
        QCOMPARE(f.form()->message(), message);
        QCOMPARE(f.form()->attachments().size(), 1);
        QVERIFY(f.button("sendButton")->isEnabled());
        QVERIFY(f.events.isEmpty());
    }

    void aBackendThatDoesNotAnswerIsReported_data() {
        QTest::addColumn<bool>("hangs");
        QTest::addColumn<QString>("status");
        QTest::newRow("unreachable") << false << u"Connection refused"_s;
        QTest::newRow("no answer in time") << true << u"The request timed out."_s;
    }
    void aBackendThatDoesNotAnswerIsReported() {
        QFETCH(bool, hangs);
        QFETCH(QString, status);
        ScriptedServer server;
        server.script("/api/feedback", {ScriptedServer::Answer::hang()});
        AppFixture app;
        // The closed port answers nothing; the scripted server holds the request.
        FeedbackService service(hangs ? server.baseURL() : QUrl(u"http://127.0.0.1:9/"_s),
                                std::chrono::milliseconds(300));
        FeedbackFlow flow(service);
        QList<Event> events;
        QPointer<FeedbackSheet> sheet =
            new FeedbackSheet(app.session(), flow, [&](Event e) { events.append(e); });
        sheet->form()->findChild<QPlainTextEdit*>()->setPlainText(u"Anyone there?"_s);
        sheet->form()->send();
        QVERIFY(sheet->form()->isSending());
        QTRY_VERIFY(!sheet->form()->isSending());
        QCOMPARE(sheet->form()->statusMessage(), status);
        QCOMPARE(sheet->form()->message(), u"Anyone there?"_s);
        QVERIFY(sheet->findChild<QPushButton*>(u"sendButton"_s)->isEnabled());
        QVERIFY(events.isEmpty());
        delete sheet.data();
    }

    void aHugeImageArrivesWhole() {
        Form f;
        // 24 MiB that no decoder would take for an image: the bytes go as they are.
        QByteArray huge(24 * 1024 * 1024, Qt::Uninitialized);
        for (qsizetype i = 0; i < huge.size(); ++i) {
            huge[i] = char((i * 131) % 251);
        }
        f.form()->pickImages({f.image(u"huge.png"_s, huge)});
        QTRY_COMPARE(f.form()->attachments().size(), 1);
        f.type({}, u"Big one"_s);
        f.form()->send();
        QTRY_VERIFY_WITH_TIMEOUT(!f.form()->isSending(), 60000);
        QCOMPARE(f.form()->statusMessage(), u"Sent. Confirmation was emailed to you."_s);
        const QJsonObject attachment =
            f.lastBody().value(u"attachments"_s).toArray().at(0).toObject();
        QVERIFY(QByteArray::fromBase64(attachment.value(u"content"_s).toString().toLatin1()) ==
                huge);
    }

    void closingDoesNotStopASend() {
        Form f;
        f.type({}, u"Sent after closing"_s);
        f.form()->send();
        QTest::mouseClick(f.button("closeButton"), Qt::LeftButton);
        QVERIFY(!f.sheet->isVisible());
        QTRY_COMPARE(f.events, QList<Event>{Event::feedbackSent});
        QCOMPARE(f.sent().size(), 1u);
        // The closed sheet took the outcome: sent, its form is empty for the next opening.
        QCOMPARE(f.form()->message(), QString());
        QCOMPARE(f.form()->statusMessage(), u"Sent. Confirmation was emailed to you."_s);
    }

    void theLinksOpenInTheBrowser() {
        RecordingBrowser browser;
        Form f;
        QTest::mouseClick(f.button("talkInsteadLink"), Qt::LeftButton);
        QTest::mouseClick(f.button("privacyPolicyLink"), Qt::LeftButton);
        QCOMPARE(browser.opened, QList<QUrl>({ProductLinks::bookingPage(),
                                              QUrl(u"https://quillon.tovrel.dev/privacy.html"_s)}));
    }

    void theRemoveSymbolIsDrawnForTheRatioAsked() {
        Form f;
        f.form()->pickImages({f.image(u"a.png"_s, "a")});
        QPushButton* remove = f.button("removeImageButton");
        QVERIFY(remove);
        // As on a screen three times as dense as the one the row was made on.
        const QPixmap pixmap = remove->icon().pixmap(remove->iconSize(), 3.0);
        QCOMPARE(pixmap.size(), QSize(42, 42));
        QCOMPARE(pixmap.devicePixelRatio(), 3.0);
    }

    void theSheetFitsWithinItsWindow_data() {
        QTest::addColumn<QSize>("windowSize");
        QTest::newRow("default window") << QSize(900, 650);
        QTest::newRow("smallest window") << QSize(720, 500);
        QTest::newRow("large window") << QSize(1600, 960);
    }
    void theSheetFitsWithinItsWindow() {
        QFETCH(QSize, windowSize);
        AppFixture app;
        MainWindow window(app.container);
        window.resize(windowSize);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.size(), windowSize);
        auto* root = qobject_cast<MainSplitView*>(window.centralWidget());
        QVERIFY(root);
        root->openFeedback();
        QDialog* sheet = root->feedbackSheet();
        QVERIFY(sheet);
        QVERIFY(QTest::qWaitForWindowExposed(sheet));

        QVERIFY2(window.geometry().contains(sheet->geometry()),
                 qPrintable(u"sheet %1x%2 at %3,%4 in a window %5x%6 at %7,%8"_s.arg(sheet->width())
                                .arg(sheet->height())
                                .arg(sheet->x())
                                .arg(sheet->y())
                                .arg(window.width())
                                .arg(window.height())
                                .arg(window.x())
                                .arg(window.y())));
        // Small enough for the smallest window, large enough for the form to be used.
        QVERIFY(sheet->minimumWidth() >= 360 && sheet->minimumHeight() >= 320);
        QVERIFY(sheet->minimumWidth() < 720 && sheet->minimumHeight() < 500);
        auto* page = sheet->findChild<QScrollArea*>();
        QVERIFY(page);
        if (windowSize.height() >= 900) {
            // With room, the whole form shows at once, without a scroll bar.
            QCOMPARE(page->verticalScrollBar()->maximum(), 0);
            QVERIFY(!page->verticalScrollBar()->isVisible());
        } else {
            QVERIFY(page->verticalScrollBar()->maximum() > 0);
            QVERIFY(page->verticalScrollBar()->isVisible());
        }

        // A window made smaller while the sheet is open keeps it inside.
        window.resize(720, 500);
        QTRY_COMPARE(window.size(), QSize(720, 500));
        QVERIFY(window.geometry().contains(sheet->geometry()));
        sheet->reject();
    }

    void theTitleAndTheMessageShareTheirBox() {
        Form f;
        auto* title = f.sheet->findChild<QLineEdit*>(u"titleField"_s);
        auto* message = f.sheet->findChild<QPlainTextEdit*>(u"messageEditor"_s);
        // Both name themselves in sight.
        QCOMPARE(title->placeholderText(), u"Title"_s);
        QCOMPARE(message->placeholderText(), u"Message"_s);
        QWidget* form = f.form();
        title->setText(u"W"_s);
        message->setPlainText(u"W"_s);
        // Where the first character is drawn: the box's leftmost column of ink.
        const auto textStart = [form](QWidget* field) {
            QWidget* box = field->parentWidget();
            const QImage image = box->grab().toImage();
            for (int x = 0; x < image.width(); ++x) {
                for (int y = 0; y < image.height(); ++y) {
                    if (qGray(image.pixel(x, y)) < 128) {
                        return box->mapTo(form, QPoint()).x() + int(x / image.devicePixelRatio());
                    }
                }
            }
            return -1;
        };
        // The first character of each starts at the same distance from the form's edge, clear
        // of its box's border.
        const int titleText = textStart(title);
        const int messageText = textStart(message);
        QCOMPARE(titleText, messageText);
        QWidget* titleBox = title->parentWidget();
        QWidget* messageBox = message->parentWidget();
        QCOMPARE(titleBox->mapTo(form, QPoint()).x(), messageBox->mapTo(form, QPoint()).x());
        QCOMPARE(titleBox->width(), messageBox->width());
        QVERIFY(titleText - titleBox->mapTo(form, QPoint()).x() >= 8);
    }

    void theFocusRingGoesRoundTheFieldBoxes() {
        FocusRing::install();
        Form f;
        f.sheet->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.sheet.data()));
        auto* title = f.sheet->findChild<QLineEdit*>(u"titleField"_s);
        auto* message = f.sheet->findChild<QPlainTextEdit*>(u"messageEditor"_s);
        const auto ringAround = [&](QWidget* box) {
            const int outset = FocusRing::gap + FocusRing::width;
            return QRect(box->mapTo(f.sheet, QPoint()), box->size())
                .adjusted(-outset, -outset, outset, outset);
        };
        title->setFocus();
        QTest::keyClick(title, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), message);
        QCOMPARE(FocusRing::ringedWidget(), message);
        auto* ring = f.sheet->findChild<FocusRing*>();
        QVERIFY(ring && ring->isVisible());
        QCOMPARE(ring->geometry(), ringAround(message->parentWidget()));
        QTest::keyClick(message, Qt::Key_Tab, Qt::ShiftModifier);
        QCOMPARE(FocusRing::ringedWidget(), title);
        QCOMPARE(ring->geometry(), ringAround(title->parentWidget()));
    }

    void theLinksLookAndActLikeLinks_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QUrl>("url");
        QTest::newRow("Talk instead") << u"talkInsteadLink"_s << ProductLinks::bookingPage();
        QTest::newRow("Privacy policy") << u"privacyPolicyLink"_s << ProductLinks::privacyPolicy();
    }
    void theLinksLookAndActLikeLinks() {
        QFETCH(QString, name);
        QFETCH(QUrl, url);
        FocusRing::install();
        RecordingBrowser browser;
        Form f;
        auto* link = f.sheet->findChild<QAbstractButton*>(name);
        QVERIFY(link);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(link);
        QVERIFY(accessible);
        QCOMPARE(accessible->role(), QAccessible::Link);
        QCOMPARE(accessible->text(QAccessible::Name),
                 name == u"talkInsteadLink" ? u"Talk instead"_s : u"Privacy policy"_s);
        QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
        QVERIFY(link->focusPolicy() & Qt::TabFocus);

        // Underlined: one row of the drawing is the link's colour across the whole text.
        const QImage image = link->grab().toImage();
        const qreal ratio = image.devicePixelRatio();
        const int from = int(2 * ratio);
        const int to = image.width() - int(2 * ratio);
        bool underlined = false;
        for (int y = 0; y < image.height() && !underlined; ++y) {
            int dark = 0;
            for (int x = from; x < to; ++x) {
                dark += qGray(image.pixel(x, y)) < 80 ? 1 : 0;
            }
            underlined = dark >= (to - from) * 9 / 10;
        }
        QVERIFY(underlined);

        // Enter and Space open it; so does a screen reader's press.
        f.sheet->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.sheet.data()));
        link->setFocus(Qt::TabFocusReason);
        QTest::keyClick(link, Qt::Key_Return);
        // The focus ring stands clear of the text, which runs to the link's sides.
        QCOMPARE(FocusRing::ringedWidget(), link);
        auto* ring = f.sheet->findChild<FocusRing*>();
        QVERIFY(ring && ring->isVisible());
        const QRect text(link->mapTo(f.sheet, QPoint()), link->size());
        QVERIFY(ring->geometry().contains(text.adjusted(-4, -4, 4, 4)));
        QTest::keyClick(link, Qt::Key_Space);
        QVERIFY(accessible->actionInterface());
        accessible->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(browser.opened, QList<QUrl>({url, url, url}));
        QVERIFY(f.sheet->isVisible());
    }

    void tabGoesRoundTheWholeSheet() {
        Form f;
        f.sheet->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.sheet.data()));
        QStringList visited;
        for (int i = 0; i < 12 && visited.value(visited.size() - 1) != u"titleField"; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited.append(QApplication::focusWidget()->objectName());
        }
        QCOMPARE(visited, QStringList({u"messageEditor"_s, u"attachImagesButton"_s, u"sendButton"_s,
                                       u"talkInsteadLink"_s, u"privacyPolicyLink"_s,
                                       u"closeButton"_s, u"titleField"_s}));
    }

    void everyControlIsReachableByKeyboard() {
        Form f;
        f.form()->pickImages({f.image(u"a.png"_s, "a")});
        QTRY_COMPARE(f.form()->attachments().size(), 1);
        f.sheet->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.sheet.data()));
        // The sheet opens ready for typing.
        QCOMPARE(QApplication::focusWidget(), f.sheet->findChild<QLineEdit*>(u"titleField"_s));
        QStringList names;
        for (QWidget* widget : tabChain(f.button("closeButton"))) {
            QVERIFY2(!accessibleName(widget).isEmpty(), widget->metaObject()->className());
            names.append(widget->objectName());
        }
        for (const char* name :
             {"closeButton", "titleField", "messageEditor", "attachImagesButton",
              "removeImageButton", "sendButton", "talkInsteadLink", "privacyPolicyLink"}) {
            QVERIFY2(names.contains(QString::fromLatin1(name)), name);
        }
        // The picked files sit between the picker button and the send button.
        const qsizetype attachAt = names.indexOf(u"attachImagesButton"_s);
        QCOMPARE(names.mid(attachAt, 3),
                 QStringList({u"attachImagesButton"_s, u"removeImageButton"_s, u"sendButton"_s}));

        // Enter in the title moves on instead of clicking a button; Space and Enter on a button
        // click it.
        auto* title = f.sheet->findChild<QLineEdit*>(u"titleField"_s);
        title->setFocus();
        QTest::keyClick(title, Qt::Key_Return);
        QVERIFY(f.sheet && f.sheet->isVisible());
        QVERIFY(!f.form()->isSending());
        QPushButton* remove = f.button("removeImageButton");
        remove->setFocus();
        QTest::keyClick(remove, Qt::Key_Space);
        QVERIFY(f.form()->selectedImages().isEmpty());
        // A send that fails hands the focus back to the button, not to the next control.
        QPushButton* send = f.button("sendButton");
        send->setFocus();
        QTest::keyClick(send, Qt::Key_Space);
        // Refused before anything is sent: no wait.
        QVERIFY(!f.form()->isSending());
        QCOMPARE(f.form()->statusMessage(), u"Feedback message is empty."_s);
        QCOMPARE(QApplication::focusWidget(), send);
        QPushButton* attach = f.button("attachImagesButton");
        attach->setFocus();
        QTest::keyClick(attach, Qt::Key_Return);
        QVERIFY(f.form()->imagePicker());
        f.form()->imagePicker()->reject();
        QTest::keyClick(f.button("closeButton"), Qt::Key_Enter);
        QTRY_VERIFY(!f.sheet->isVisible());
    }
};

int main(int argc, char* argv[]) {
    if (argc == 4 && qstrcmp(argv[1], quitWhileReadingOption) == 0) {
        return quitWhileReading(1, argv, QString::fromLocal8Bit(argv[2]),
                                qstrcmp(argv[3], "never") == 0);
    }
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestFeedbackView test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_feedbackview.moc"
