// Saves drafts "draft <n>" for n from the given number up to 500 through the app's drafts store
// on the given defaults database, each under owner "owner-<n mod 100>", and prints "saved <n>"
// once the store has reported the save done. The kill test ends it at random moments.
#include "core/storage/DraftStore.h"
#include "core/storage/SqliteUserDefaults.h"
#include "core/storage/UserDefaultsDraftRepository.h"

#include <QCoreApplication>
#include <cstdio>

using namespace Qt::StringLiterals;
using namespace quillon;

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: draft_saver DATABASE FIRST\n");
        return 2;
    }
    DraftStore store(
        std::make_shared<UserDefaultsDraftRepository>(
            u"drafts"_s, std::make_shared<SqliteUserDefaults>(QString::fromLocal8Bit(argv[1]))),
        {});
    for (int n = QByteArray(argv[2]).toInt(); n <= 500; ++n) {
        store.setOwner(u"owner-%1"_s.arg(n % 100));
        store.setEditorText(u"draft %1"_s.arg(n));
        store.saveDraft();
        if (store.statusMessage() != u"Draft saved"_s) {
            std::fprintf(stderr, "draft_saver: %s\n",
                         qPrintable(store.statusMessage().value_or(QString())));
            return 1;
        }
        std::printf("saved %d\n", n);
        std::fflush(stdout);
    }
    return 0;
}
