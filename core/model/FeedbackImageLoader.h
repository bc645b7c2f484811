#pragma once

#include "core/model/FeedbackImageAttachment.h"

#include <QByteArray>
#include <QFuture>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QThreadPool;

namespace quillon {

// What reading one picked file gave.
struct ImageFileRead {
    enum class Outcome {
        read,
        // Gone, unreadable or empty: left out without a word, as the picker's own failures are.
        unreadable,
        // A pipe, a device, a folder or a socket: refused unopened.
        notAFile,
    };
    Outcome outcome = Outcome::unreadable;
    QByteArray bytes;
};

// What the files of one selection gave: the attachments, numbered by position in the
// selection (a file without data leaves a gap), and the paths refused as not files.
struct FeedbackImageLoad {
    QList<FeedbackImageAttachment> attachments;
    QStringList refused;
};

// Reads the picked image files and turns them into attachments on threads of its own. A file
// can block in open or read for as long as it likes (a stalled network mount); on a thread of
// Qt's global pool it would hold up the window's painting and the program's exit, which both
// wait for that pool. A read that never returns is left behind when the loader goes.
class FeedbackImageLoader {
public:
    // How one file is read; blocks its thread. Tests put a file that does not answer in its place.
    using ReadFile = std::function<ImageFileRead(const QString& path)>;

    // Loads reading at once, side by side; more wait for a thread.
    static constexpr int maximumConcurrentLoads = 8;

    explicit FeedbackImageLoader(ReadFile readFile = readImageFile);
    ~FeedbackImageLoader();
    FeedbackImageLoader(const FeedbackImageLoader&) = delete;
    FeedbackImageLoader& operator=(const FeedbackImageLoader&) = delete;

    // Reads `files` in order on the loader's threads.
    QFuture<FeedbackImageLoad> load(QStringList files) const;

    // The same on the calling thread.
    static FeedbackImageLoad loadNow(const QStringList& files, const ReadFile& readFile);

    // The file's bytes. What is not a regular file is refused before it is opened, and it is
    // opened without waiting, so a pipe put in its place meanwhile cannot hold the thread.
    static ImageFileRead readImageFile(const QString& path);

private:
    const ReadFile m_readFile;
    std::unique_ptr<QThreadPool> m_pool;
};

} // namespace quillon
