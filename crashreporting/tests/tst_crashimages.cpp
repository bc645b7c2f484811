// A crash envelope names the loaded objects its frames belong to, with build IDs that match the
// files on disk, and reads as the envelope protocol defines it.
#include "crashreporting/LoadedImages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

using quillon::LoadedImages;

namespace {

struct Envelope {
    QJsonObject header;
    QList<std::pair<QJsonObject, QByteArray>> items;
};

// A JSON object on one line starting at `offset`; moves `offset` past its newline.
std::optional<QJsonObject> objectLine(const QByteArray& bytes, qsizetype& offset) {
    qsizetype end = bytes.indexOf('\n', offset);
    if (end < 0) {
        end = bytes.size();
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes.mid(offset, end - offset), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    offset = end + 1;
    return document.object();
}

// Reads an envelope strictly: a header line, then items, each a header line and a payload of
// exactly "length" bytes (up to the next newline when it has none), each payload followed by a
// newline or the end. Anything else is an error.
std::optional<Envelope> readEnvelope(const QByteArray& bytes, QString& error) {
    Envelope envelope;
    qsizetype offset = 0;
    const auto header = objectLine(bytes, offset);
    if (!header) {
        error = u"envelope header is not a JSON object"_s;
        return std::nullopt;
    }
    envelope.header = *header;
    while (offset < bytes.size()) {
        const auto item = objectLine(bytes, offset);
        if (!item || !item->value("type").isString()) {
            error = u"item header at %1 is not an object with a type"_s.arg(offset);
            return std::nullopt;
        }
        qsizetype length = 0;
        if (item->contains("length")) {
            const QJsonValue value = item->value("length");
            if (!value.isDouble() || value.toDouble() < 0 ||
                value.toDouble() != double(value.toInteger())) {
                error = u"item length is not a non-negative integer"_s;
                return std::nullopt;
            }
            length = value.toInteger();
        } else {
            const qsizetype end = bytes.indexOf('\n', offset);
            length = (end < 0 ? bytes.size() : end) - offset;
        }
        if (offset + length > bytes.size()) {
            error = u"item payload runs past the end"_s;
            return std::nullopt;
        }
        envelope.items.append({*item, bytes.mid(offset, length)});
        offset += length;
        if (offset < bytes.size()) {
            if (bytes.at(offset) != '\n') {
                error = u"no newline after an item payload at %1"_s.arg(offset);
                return std::nullopt;
            }
            ++offset;
        }
    }
    return envelope;
}

// The GNU build ID that readelf finds in a file, as lowercase hexadecimal.
QString readelfBuildID(const QString& path) {
    QProcess readelf;
    readelf.start(u"readelf"_s, {u"-n"_s, path});
    if (!readelf.waitForFinished(30000) || readelf.exitCode() != 0) {
        return u"readelf failed on "_s + path;
    }
    return QRegularExpression(u"Build ID: ([0-9a-f]+)"_s)
        .match(QString::fromUtf8(readelf.readAllStandardOutput()))
        .captured(1);
}

quint64 hexNumber(const QString& text, bool* ok) {
    return text.startsWith(QLatin1String("0x")) ? text.mid(2).toULongLong(ok, 16)
                                                : (*ok = false, 0);
}

} // namespace

class CrashImagesTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void debugIDFromBuildID_data();
    void debugIDFromBuildID();
    void crashEnvelopeNamesItsImages_data();
    void crashEnvelopeNamesItsImages();
};

void CrashImagesTest::debugIDFromBuildID_data() {
    QTest::addColumn<QByteArray>("buildID");
    QTest::addColumn<QString>("codeID");
    QTest::addColumn<QString>("debugID");
    QTest::newRow("20 bytes (SHA-1): the first 16 count")
        << QByteArray::fromHex("0123456789abcdef0011223344556677aabbccdd")
        << "0123456789abcdef0011223344556677aabbccdd"
        << "67452301-ab89-efcd-0011-223344556677";
    QTest::newRow("16 bytes (MD5)") << QByteArray::fromHex("00112233445566778899aabbccddeeff")
                                    << "00112233445566778899aabbccddeeff"
                                    << "33221100-5544-7766-8899-aabbccddeeff";
    QTest::newRow("shorter: padded with zeros") << QByteArray::fromHex("01020304") << "01020304"
                                                << "04030201-0000-0000-0000-000000000000";
}

void CrashImagesTest::debugIDFromBuildID() {
    QFETCH(QByteArray, buildID);
    QFETCH(QString, codeID);
    QFETCH(QString, debugID);
    QCOMPARE(LoadedImages::codeID(buildID), codeID);
    QCOMPARE(LoadedImages::debugID(buildID), debugID);
}

void CrashImagesTest::crashEnvelopeNamesItsImages_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("loadedLater");
    QTest::newRow("crash at start-up") << "segfault"
                                       << "";
    QTest::newRow("crash after loading a library") << "load-later"
                                                   << "libexpat.so.1";
}

void CrashImagesTest::crashEnvelopeNamesItsImages() {
    QFETCH(QString, how);
    QFETCH(QString, loadedLater);
    QTemporaryDir dir;
    const QString folder = dir.filePath("crashes");
    const QString program = qEnvironmentVariable("QUILLON_BUILD_DIR") + "/tests/crashing_program";
    QProcess crashing;
    crashing.start(program, {folder, u"https://key@127.0.0.1:9/42"_s, how});
    QVERIFY(crashing.waitForFinished(60000));
    QCOMPARE(crashing.exitStatus(), QProcess::CrashExit);

    const QStringList files = QDir(folder).entryList(QDir::Files);
    QCOMPARE(files.size(), 1);
    QFile file(QDir(folder).filePath(files.first()));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QString error;
    const auto envelope = readEnvelope(file.readAll(), error);
    QVERIFY2(envelope, qPrintable(error));
    QCOMPARE(envelope->items.size(), 1);
    QCOMPARE(envelope->items.first().first.value("type").toString(), u"event"_s);
    QJsonParseError parseError;
    const QJsonDocument event =
        QJsonDocument::fromJson(envelope->items.first().second, &parseError);
    QVERIFY2(event.isObject(), qPrintable(parseError.errorString()));

    const QJsonArray images = event["debug_meta"]["images"].toArray();
    QVERIFY(!images.isEmpty());
    QStringList names;
    QList<std::pair<quint64, quint64>> ranges;
    const QRegularExpression debugIDForm(
        u"^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$"_s);
    for (const QJsonValue& value : images) {
        const QJsonObject image = value.toObject();
        const QString codeFile = image.value("code_file").toString();
        QVERIFY2(!codeFile.isEmpty(), qPrintable(QJsonDocument(image).toJson()));
        QCOMPARE(image.value("type").toString(), u"elf"_s);
        bool ok = false;
        const quint64 address = hexNumber(image.value("image_addr").toString(), &ok);
        QVERIFY2(ok && address > 0, qPrintable(codeFile));
        const qint64 size = image.value("image_size").toInteger();
        QVERIFY2(size > 0, qPrintable(codeFile));
        ranges.append({address, address + quint64(size)});
        names.append(QFileInfo(codeFile).fileName());

        if (!QFileInfo(codeFile).isAbsolute()) {
            continue; // the kernel's vDSO has no file
        }
        const QString codeID = image.value("code_id").toString();
        QCOMPARE(codeID, readelfBuildID(codeFile));
        QVERIFY2(debugIDForm.match(image.value("debug_id").toString()).hasMatch(),
                 qPrintable(codeFile));
        QCOMPARE(image.value("debug_id").toString(),
                 LoadedImages::debugID(QByteArray::fromHex(codeID.toLatin1())));
    }
    QVERIFY2(names.contains(u"crashing_program"_s), qPrintable(names.join(' ')));
    QVERIFY2(names.contains(u"libc.so.6"_s), qPrintable(names.join(' ')));
    if (!loadedLater.isEmpty()) {
        QVERIFY2(names.contains(loadedLater), qPrintable(names.join(' ')));
    }

    // Every frame lies in one of the images.
    const QJsonArray frames = event["exception"]["values"][0]["stacktrace"]["frames"].toArray();
    QVERIFY(!frames.isEmpty());
    for (const QJsonValue& frame : frames) {
        bool ok = false;
        const quint64 address = hexNumber(frame["instruction_addr"].toString(), &ok);
        QVERIFY(ok);
        const bool inside =
            std::any_of(ranges.cbegin(), ranges.cend(), [address](const auto& range) {
                return address >= range.first && address < range.second;
            });
        QVERIFY2(inside, qPrintable(frame["instruction_addr"].toString()));
    }
}

QTEST_GUILESS_MAIN(CrashImagesTest)
#include "tst_crashimages.moc"
