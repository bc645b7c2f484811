// What "Save draft" costs on the disk: 15 saves of 3,000-character drafts through the drafts
// store on the app's SQLite defaults (each save one transaction, synced), beside the same JSON
// lists written to a file with write, fsync and rename, in the same folder and run. Prints the
// medians of QUILLON_BENCH_RUNS rounds (default 20) and their ratio.
#include "core/storage/DraftStore.h"
#include "core/storage/SqliteUserDefaults.h"
#include "core/storage/UserDefaultsDraftRepository.h"
#include "tests/support/Median.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;
using namespace quillon;

namespace {

QString draftText(int n) {
    QString text = u"Draft %1: "_s.arg(n);
    const QString words = u"Shipping beats perfect, caf\u00e9 talk \U0001F680 and lists. "_s;
    while (text.size() < 3000) {
        text += words;
    }
    text.truncate(3000);
    return text;
}

// Write, fsync, rename: the plain way to replace a file whole.
bool writeFileAtomically(const QString& path, const QByteArray& bytes) {
    const QByteArray target = QFile::encodeName(path);
    const QByteArray next = target + ".new";
    const int fd = ::open(next.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    const bool written =
        ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size() && ::fsync(fd) == 0;
    ::close(fd);
    return written && ::rename(next.constData(), target.constData()) == 0;
}

using quillon::testing::median;

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const int runs = quillon::testing::benchRuns(20);
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                           u"/quillon-bench-draftsave"_s;
    QDir(folder).removeRecursively();
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "bench_draftsave: cannot make %s\n", qPrintable(folder));
        return 1;
    }
    const QString database = folder + u"/defaults.sqlite3"_s;
    const QString json = folder + u"/drafts.json"_s;
    std::vector<double> sqliteMs, fileMs;
    int status = 0;
    for (int run = -1; run < runs && status == 0; ++run) {
        QFile::remove(database);
        QFile::remove(json);
        QList<QList<Draft>> lists;
        QElapsedTimer clock;
        {
            DraftStore store(std::make_shared<UserDefaultsDraftRepository>(
                                 u"drafts"_s, std::make_shared<SqliteUserDefaults>(database)),
                             {});
            clock.start();
            for (int n = 0; n < 15; ++n) {
                store.newPost();
                store.setEditorText(draftText(n));
                store.saveDraft();
                if (store.statusMessage() != u"Draft saved"_s) {
                    std::fprintf(stderr, "bench_draftsave: %s\n",
                                 qPrintable(store.statusMessage().value_or(QString())));
                    status = 1;
                    break;
                }
                lists.append(store.drafts());
            }
        }
        const double sqlite = clock.nsecsElapsed() / 1e6;
        clock.restart();
        for (const QList<Draft>& list : std::as_const(lists)) {
            if (!writeFileAtomically(json, Draft::listToJson(list))) {
                std::fprintf(stderr, "bench_draftsave: cannot write %s\n", qPrintable(json));
                status = 1;
                break;
            }
        }
        const double file = clock.nsecsElapsed() / 1e6;
        // The first round warms the caches and is not counted.
        if (run >= 0) {
            sqliteMs.push_back(sqlite);
            fileMs.push_back(file);
        }
    }
    QDir(folder).removeRecursively();
    if (status != 0) {
        return status;
    }
    std::printf("draft save: 15 saves of 3,000 characters, medians of %d:\n", runs);
    std::printf("draft save: SQLite defaults       %8.2f ms (%.2f ms a save)\n", median(sqliteMs),
                median(sqliteMs) / 15);
    std::printf("draft save: JSON write+fsync+rename %6.2f ms (%.2f ms a save)\n", median(fileMs),
                median(fileMs) / 15);
    std::printf("draft save: ratio %.2f (goal at most 2.00)\n", median(sqliteMs) / median(fileMs));
    return 0;
}
