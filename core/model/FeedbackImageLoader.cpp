#include "core/model/FeedbackImageLoader.h"

#include <QFile>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace quillon {

FeedbackImageLoader::FeedbackImageLoader(ReadFile readFile)
    : m_readFile(std::move(readFile))
    , m_pool(std::make_unique<QThreadPool>()) {
    // Not Qt's ideal count: on one CPU that is one thread, and one stuck read would hold every
    // later selection behind it.
    m_pool->setMaxThreadCount(maximumConcurrentLoads);
    m_pool->setObjectName(u"FeedbackImageLoader"_s);
}

FeedbackImageLoader::~FeedbackImageLoader() {
    m_pool->clear();
    // A thread blocked in the kernel cannot be stopped, and QThreadPool's destructor would wait
    // for it for ever: a pool still busy is left to the end of the process. Its loads share
    // nothing with the loader.
    if (!m_pool->waitForDone(0)) {
        [[maybe_unused]] QThreadPool* abandoned = m_pool.release();
    }
}

QFuture<FeedbackImageLoad> FeedbackImageLoader::load(QStringList files) const {
    return QtConcurrent::run(m_pool.get(), [files = std::move(files), readFile = m_readFile] {
        return loadNow(files, readFile);
    });
}

FeedbackImageLoad FeedbackImageLoader::loadNow(const QStringList& files, const ReadFile& readFile) {
    FeedbackImageLoad load;
    for (qsizetype i = 0; i < files.size(); ++i) {
        const ImageFileRead read = readFile(files[i]);
        switch (read.outcome) {
        case ImageFileRead::Outcome::read:
            load.attachments.append(FeedbackImageAttachment::fromImageData(int(i + 1), read.bytes));
            break;
        case ImageFileRead::Outcome::notAFile:
            load.refused.append(files[i]);
            break;
        case ImageFileRead::Outcome::unreadable:
            break;
        }
    }
    return load;
}

ImageFileRead FeedbackImageLoader::readImageFile(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat status {};
    if (::stat(name.constData(), &status) != 0) {
        return {};
    }
    if (!S_ISREG(status.st_mode)) {
        return {ImageFileRead::Outcome::notAFile, {}};
    }
    int fd = -1;
    do {
        fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return {};
    }
    // What was opened is what is read: the path may have been replaced since it was looked at.
    struct stat opened {};
    if (::fstat(fd, &opened) != 0) {
        ::close(fd);
        return {};
    }
    if (!S_ISREG(opened.st_mode)) {
        ::close(fd);
        return {ImageFileRead::Outcome::notAFile, {}};
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return {};
    }
    QByteArray bytes = file.readAll();
    if (bytes.isEmpty() || file.error() != QFileDevice::NoError) {
        return {};
    }
    return {ImageFileRead::Outcome::read, std::move(bytes)};
}

} // namespace quillon
