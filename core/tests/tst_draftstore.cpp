#include "core/model/UnicodeText.h"
#include "core/storage/DraftStore.h"
#include "core/storage/SqliteUserDefaults.h"
#include "core/storage/UserDefaultsDraftRepository.h"
#include "core/tests/StorageFaults.h"
#include "tests/support/DraftBodies.h"
#include "tests/support/SqliteWriteLock.h"

#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <sqlite3.h>

using namespace Qt::StringLiterals;
using namespace quillon;
using namespace quillon::testing;

namespace {

// A store over the real repository on a throw-away defaults database, recording its events.
struct Fixture {
    QTemporaryDir dir;
    QString path = dir.filePath(u"data/defaults.sqlite3"_s);
    std::shared_ptr<SqliteUserDefaults> defaults = std::make_shared<SqliteUserDefaults>(path);
    std::shared_ptr<UserDefaultsDraftRepository> repository =
        std::make_shared<UserDefaultsDraftRepository>(u"drafts"_s, defaults);
    QList<AppTelemetryEvent> events;
    DraftStore store{repository, [this](AppTelemetryEvent e) { events.append(e); }};

    void write(const QString& text) {
        store.setEditorText(text);
        store.saveDraft();
    }
    QStringList bodies() const { return bodiesOf(store.drafts()); }
    // The drafts as the file on disk holds them, read through a connection of its own, as the
    // next launch reads them.
    QStringList bodiesOnDisk(const std::optional<QString>& owner) const {
        return bodiesOf(
            UserDefaultsDraftRepository(u"drafts"_s, std::make_shared<SqliteUserDefaults>(path))
                .loadDrafts(owner));
    }
    // The unsaved text as the next start would find it in the file on disk.
    std::optional<UnsavedText> keptOnDisk() const {
        return UserDefaultsDraftRepository(u"drafts"_s, std::make_shared<SqliteUserDefaults>(path))
            .loadUnsavedText();
    }
    // A new launch over the same file: the owner set, then the kept text restored.
    std::unique_ptr<DraftStore> nextLaunch(const std::optional<QString>& owner) const {
        auto store = std::make_unique<DraftStore>(
            std::make_shared<UserDefaultsDraftRepository>(
                u"drafts"_s, std::make_shared<SqliteUserDefaults>(path)),
            TelemetrySink{});
        store->setOwner(owner);
        store->restoreUnsavedText();
        return store;
    }
    QStringList storedBodies(const std::optional<QString>& owner) const {
        return bodiesOf(repository->loadDrafts(owner));
    }
};

} // namespace

class TestDraftStore : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startsWithInitialTextAndSignedOutDrafts() {
        Fixture f;
        const QDateTime now = QDateTime::currentDateTimeUtc();
        f.repository->saveDrafts({{QUuid::createUuid(), u"kept"_s, now, now}}, std::nullopt);
        DraftStore store(f.repository, {});
        QCOMPARE(store.editorText(), u"Write a LinkedIn post..."_s);
        QCOMPARE(store.drafts().size(), 1);
        QCOMPARE(store.ownerID(), std::nullopt);
        QCOMPARE(store.statusMessage(), std::nullopt);
    }

    void savingTrimsAndSendsOneEvent() {
        Fixture f;
        f.write(u"  word \n"_s);
        QCOMPARE(f.bodies(), QStringList{u"word"_s});
        QCOMPARE(f.storedBodies(std::nullopt), QStringList{u"word"_s});
        QCOMPARE(f.store.editorText(), u"  word \n"_s);
        QCOMPARE(f.store.statusMessage(), std::optional<QString>(u"Draft saved"_s));
        QCOMPARE(f.events, QList<AppTelemetryEvent>{AppTelemetryEvent::draftSaved});

        // Unchanged: the status again, nothing stored, no event.
        f.store.setStatusMessage(std::nullopt);
        f.store.saveDraft();
        QCOMPARE(f.store.statusMessage(), std::optional<QString>(u"Draft saved"_s));
        QCOMPARE(f.bodies().size(), 1);
        QCOMPARE(f.events.size(), 1);
    }

    void canonicallyEqualTextIsNoChange() {
        Fixture f;
        f.write(u"caf\u00e9"_s);
        f.write(u"cafe\u0301"_s);
        QCOMPARE(f.events.size(), 1);
        QCOMPARE(f.bodies(), QStringList{u"caf\u00e9"_s});
    }

    void emptyTextIsNotSaved() {
        Fixture f;
        f.write(u" \n\t"_s);
        QCOMPARE(f.store.statusMessage(), std::optional<QString>(u"Draft is empty"_s));
        QVERIFY(f.store.drafts().isEmpty());
        QVERIFY(!f.defaults->value(u"drafts.signed-out"_s));
        QVERIFY(f.events.isEmpty());
    }

    void initialTextIsSavedAsItIs() {
        Fixture f;
        f.store.saveDraft();
        QCOMPARE(f.bodies(), QStringList{u"Write a LinkedIn post..."_s});
    }

    void editingAnOpenedDraftKeepsItsPlace() {
        Fixture f;
        f.write(u"first"_s);
        f.store.newPost();
        f.write(u"second"_s);
        f.store.newPost();
        QCOMPARE(f.bodies(), QStringList({u"second"_s, u"first"_s}));

        const Draft first = f.store.drafts().at(1);
        f.store.openDraft(first);
        QCOMPARE(f.store.editorText(), u"first"_s);
        const QDateTime before = QDateTime::currentDateTimeUtc();
        f.write(u"first, edited"_s);
        QCOMPARE(f.bodies(), QStringList({u"second"_s, u"first, edited"_s}));
        const Draft edited = f.store.drafts().at(1);
        QCOMPARE(edited.id, first.id);
        QCOMPARE(edited.createdAt, first.createdAt);
        QVERIFY(edited.updatedAt >= before);
        QCOMPARE(f.storedBodies(std::nullopt), QStringList({u"second"_s, u"first, edited"_s}));
    }

    void sixteenthDraftDropsTheOldest() {
        Fixture f;
        for (int i = 1; i <= 16; ++i) {
            f.write(QString::number(i));
            f.store.newPost();
        }
        QCOMPARE(f.store.drafts().size(), 15);
        QCOMPARE(f.bodies().first(), u"16"_s);
        QCOMPARE(f.bodies().last(), u"2"_s);
        QCOMPARE(f.storedBodies(std::nullopt).size(), 15);
    }

    void newPostStoresChangesOfAnOpenedDraftOnly() {
        Fixture f;
        f.write(u"draft"_s);
        f.store.setEditorText(u"draft, changed"_s);
        f.store.newPost();
        QCOMPARE(f.bodies(), QStringList{u"draft, changed"_s});
        QCOMPARE(f.store.editorText(), QString());
        QCOMPARE(f.store.editingDraftID(), std::nullopt);
        QCOMPARE(f.store.statusMessage(), std::nullopt);

        // No opened draft: nothing is stored.
        f.store.setEditorText(u"unsaved"_s);
        f.store.newPost();
        QCOMPARE(f.bodies(), QStringList{u"draft, changed"_s});
    }

    void deletingTheOpenedDraftLeavesItsText() {
        Fixture f;
        f.write(u"old"_s);
        f.store.newPost();
        f.write(u"doomed"_s);
        const QUuid id = *f.store.editingDraftID();
        f.store.setStatusMessage(u"status"_s);
        f.store.deleteDraft(id);
        QCOMPARE(f.bodies(), QStringList{u"old"_s});
        QCOMPARE(f.storedBodies(std::nullopt), QStringList{u"old"_s});
        QCOMPARE(f.store.editorText(), u"doomed"_s);
        QCOMPARE(f.store.statusMessage(), std::optional<QString>(u"status"_s));
        QCOMPARE(f.store.editingDraftID(), std::nullopt);

        f.store.saveDraft();
        QCOMPARE(f.bodies(), QStringList({u"doomed"_s, u"old"_s}));
    }

    void dropEditingDraftRemovesOnlyTheBoundDraft() {
        Fixture f;
        f.write(u"posted"_s);
        f.store.dropEditingDraft();
        QVERIFY(f.store.drafts().isEmpty());
        QCOMPARE(f.storedBodies(std::nullopt), QStringList());
        QCOMPARE(f.store.editorText(), u"posted"_s);

        f.write(u"kept"_s);
        f.store.newPost();
        QSignalSpy changes(&f.store, &DraftStore::draftsChanged);
        f.store.dropEditingDraft();
        QCOMPARE(changes.count(), 0);
        QCOMPARE(f.bodies(), QStringList{u"kept"_s});
    }

    void ownersHaveSeparateLists() {
        Fixture f;
        f.write(u"signed out"_s);
        QSignalSpy texts(&f.store, &DraftStore::editorTextChanged);

        f.store.setOwner(u"member-1"_s);
        QVERIFY(f.store.drafts().isEmpty());
        QCOMPARE(f.store.editorText(), u"Write a LinkedIn post..."_s);
        QCOMPARE(f.store.statusMessage(), std::nullopt);
        f.write(u"member"_s);
        QCOMPARE(f.storedBodies(u"member-1"_s), QStringList{u"member"_s});
        QVERIFY(f.defaults->value(u"drafts.member-1"_s));

        // The current owner again: nothing reloads, nothing resets.
        f.store.setEditorText(u"typing"_s);
        f.store.setOwner(u"member-1"_s);
        QCOMPARE(f.store.editorText(), u"typing"_s);
        QCOMPARE(f.store.statusMessage(), std::optional<QString>(u"Draft saved"_s));

        f.store.setOwner(std::nullopt);
        QCOMPARE(f.bodies(), QStringList{u"signed out"_s});
    }

    // What a change of owner keeps: only what a reset would lose.
    void anOwnerChangeKeepsOnlyUnsavedText_data() {
        QTest::addColumn<QString>("state");
        QTest::addColumn<bool>("kept");
        QTest::newRow("a typed new post") << u"typed"_s << true;
        QTest::newRow("an opened draft, edited") << u"edited draft"_s << true;
        QTest::newRow("a deleted draft's text") << u"deleted draft"_s << true;
        QTest::newRow("text typed while a post was on its way") << u"typed after posting"_s << true;
        QTest::newRow("the initial text") << u"initial"_s << false;
        QTest::newRow("the initial text with spaces") << u"initial, spaced"_s << false;
        QTest::newRow("blank") << u"blank"_s << false;
        QTest::newRow("an opened draft") << u"opened draft"_s << false;
        QTest::newRow("an opened draft, only spaces added") << u"spaced draft"_s << false;
        QTest::newRow("an opened draft, canonically equal") << u"canonical draft"_s << false;
        QTest::newRow("a saved new post") << u"saved"_s << false;
        QTest::newRow("a posted text") << u"posted"_s << false;
    }
    void anOwnerChangeKeepsOnlyUnsavedText() {
        QFETCH(QString, state);
        QFETCH(bool, kept);
        Fixture f;
        f.write(u"caf\u00e9 draft"_s);
        const Draft draft = f.store.drafts().first();
        f.store.resetEditor();
        if (state == u"typed") {
            f.store.setEditorText(u"half a thought"_s);
        } else if (state == u"edited draft") {
            f.store.openDraft(draft);
            f.store.setEditorText(draft.body + u", more"_s);
        } else if (state == u"deleted draft") {
            f.store.openDraft(draft);
            f.store.deleteDraft(draft.id);
        } else if (state == u"typed after posting") {
            f.store.setEditorText(u"posted, then more"_s);
            f.store.notePosted(u"posted"_s);
        } else if (state == u"initial, spaced") {
            f.store.setEditorText(DraftStore::initialEditorText() + u"  \n"_s);
        } else if (state == u"blank") {
            f.store.setEditorText(u" \n\t"_s);
        } else if (state == u"opened draft") {
            f.store.openDraft(draft);
        } else if (state == u"spaced draft") {
            f.store.openDraft(draft);
            f.store.setEditorText(u"  "_s + draft.body + u"\n"_s);
        } else if (state == u"canonical draft") {
            f.store.openDraft(draft);
            f.store.setEditorText(u"cafe\u0301 draft"_s);
        } else if (state == u"saved") {
            f.write(u"saved post"_s);
        } else if (state == u"posted") {
            f.store.setEditorText(u"  posted  "_s);
            f.store.notePosted(u"  posted  "_s);
        }
        const QString before = f.store.editorText();
        QCOMPARE(f.store.hasUnsavedText(), kept);

        f.store.setOwner(u"member-1"_s);
        QCOMPARE(f.store.ownerID(), std::optional<QString>(u"member-1"_s));
        QVERIFY(f.store.drafts().isEmpty());
        QCOMPARE(f.store.editorText(), kept ? before : DraftStore::initialEditorText());
        // Either way the editor is no longer bound to the signed-out list's draft.
        QCOMPARE(f.store.editingDraftID(), std::nullopt);
        QCOMPARE(f.store.statusMessage(), std::nullopt);
        QCOMPARE(f.storedBodies(std::nullopt).contains(u"caf\u00e9 draft"_s),
                 state != u"deleted draft");
    }

    void keptTextSavesAsANewDraftOfTheNewOwner() {
        Fixture f;
        f.write(u"signed-out draft"_s);
        f.store.setEditorText(u"signed-out draft, edited"_s);
        f.store.setOwner(u"member-1"_s);
        f.store.saveDraft();
        QCOMPARE(f.storedBodies(u"member-1"_s), QStringList{u"signed-out draft, edited"_s});
        QCOMPARE(f.storedBodies(std::nullopt), QStringList{u"signed-out draft"_s});
    }

    // Unsaved text left at a quit is in the editor at the next start.
    void unsavedTextComesBackAtTheNextStart_data() {
        QTest::addColumn<std::optional<QString>>("owner");
        QTest::addColumn<bool>("openedDraft");
        QTest::addColumn<std::optional<QString>>("nextOwner");
        QTest::addColumn<QString>("text");
        const std::optional<QString> none;
        const std::optional<QString> member(u"member-1"_s);
        QTest::newRow("a new post, signed out") << none << false << none << u" new \n"_s;
        QTest::newRow("a member's edited draft, bound again")
            << member << true << member << u"edited"_s;
        QTest::newRow("a member's edited draft, signed out since: a new post")
            << member << true << none << u"edited"_s;
        QTest::newRow("odd characters")
            << none << false << none << u"\uFEFFa\u0000b\U0001F680\uFFFF"_s;
    }
    void unsavedTextComesBackAtTheNextStart() {
        QFETCH(std::optional<QString>, owner);
        QFETCH(bool, openedDraft);
        QFETCH(std::optional<QString>, nextOwner);
        QFETCH(QString, text);
        Fixture f;
        f.store.setOwner(owner);
        f.store.restoreUnsavedText();
        std::optional<QUuid> draftID;
        if (openedDraft) {
            f.write(u"draft"_s);
            draftID = f.store.editingDraftID();
        }
        f.store.setEditorText(text);
        f.store.keepUnsavedText();
        QCOMPARE(f.keptOnDisk(), std::optional<UnsavedText>({text, owner, draftID}));

        const auto next = f.nextLaunch(nextOwner);
        QCOMPARE(next->editorText(), text);
        const bool bound = openedDraft && owner == nextOwner;
        QCOMPARE(next->editingDraftID(), bound ? draftID : std::nullopt);
        // Saving it goes where it would have gone before the quit: into the bound draft, or
        // as a new one.
        next->saveDraft();
        QCOMPARE(next->drafts().size(), 1);
        QCOMPARE(next->drafts().first().body, unicode::trimmedWhitespaceAndNewlines(text));
        QCOMPARE(std::optional<QUuid>(next->drafts().first().id) == draftID, bound);
    }

    void nothingIsKeptBeforeTheKeptTextWasRestored() {
        Fixture f;
        f.store.restoreUnsavedText();
        f.store.setEditorText(u"from the last run"_s);
        f.store.keepUnsavedText();
        // The next launch, before its window put the text back.
        DraftStore early(f.repository, {});
        early.setEditorText(u"not yet shown"_s);
        early.keepUnsavedText();
        early.resetEditor();
        early.keepUnsavedText();
        QCOMPARE(f.keptOnDisk()->text, u"from the last run"_s);
        early.restoreUnsavedText();
        QCOMPARE(early.editorText(), u"from the last run"_s);
    }

    // Text that rests is kept without any quit, so a killed process loses at most the pause.
    void restingTextIsKeptAfterAPause() {
        Fixture f;
        f.store.restoreUnsavedText();
        for (const QString& typed : {u"H"_s, u"He"_s, u"Hello"_s}) {
            f.store.setEditorText(typed);
        }
        // Not per keystroke.
        QCOMPARE(f.keptOnDisk(), std::nullopt);
        QTRY_COMPARE(f.keptOnDisk(),
                     std::optional<UnsavedText>({u"Hello"_s, std::nullopt, std::nullopt}));
        QCOMPARE(f.nextLaunch(std::nullopt)->editorText(), u"Hello"_s);
    }

    // Once the text is stored, posted, cleared or the account deleted, nothing comes back.
    void keptTextGoesOnceNothingIsUnsaved_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("atOnce");
        QTest::newRow("saved") << u"save"_s << false;
        QTest::newRow("cleared") << u"clear"_s << true;
        QTest::newRow("posted") << u"post"_s << true;
        QTest::newRow("account deleted") << u"delete account"_s << true;
    }
    void keptTextGoesOnceNothingIsUnsaved() {
        QFETCH(QString, action);
        QFETCH(bool, atOnce);
        Fixture f;
        // Another account's drafts stay in the file: the INI writer cannot write an empty one.
        const QDateTime now = QDateTime::currentDateTimeUtc();
        f.repository->saveDrafts({{QUuid::createUuid(), u"other's"_s, now, now}}, u"member-2"_s);
        f.store.setOwner(u"member-1"_s);
        f.store.restoreUnsavedText();
        f.store.setEditorText(u"words"_s);
        f.store.keepUnsavedText();
        QVERIFY(f.keptOnDisk());
        if (action == u"save") {
            f.store.saveDraft();
        } else if (action == u"clear") {
            f.store.newPost();
        } else if (action == u"post") {
            f.store.dropEditingDraft();
            f.store.notePosted(u"words"_s);
        } else {
            f.store.clearAllLocal(u"member-1"_s);
        }
        QVERIFY(!f.store.hasUnsavedText());
        if (atOnce) {
            QCOMPARE(f.keptOnDisk(), std::nullopt);
        } else {
            QTRY_COMPARE(f.keptOnDisk(), std::nullopt);
        }
        const auto next = f.nextLaunch(
            action == u"delete account" ? std::nullopt : std::optional<QString>(u"member-1"_s));
        QCOMPARE(next->editorText(), DraftStore::initialEditorText());
    }

    void anUnreadableKeptTextIsNone_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("not JSON") << QByteArray("{oops");
        QTest::newRow("no text") << QByteArray(R"({"ownerId":"m"})");
        QTest::newRow("text not a string") << QByteArray(R"({"text":7})");
    }
    void anUnreadableKeptTextIsNone() {
        QFETCH(QByteArray, stored);
        Fixture f;
        QCOMPARE(f.defaults->setValue(u"drafts.unsavedText"_s, stored),
                 StorageWriteStatus::written);
        QCOMPARE(f.repository->loadUnsavedText(), std::nullopt);
        QCOMPARE(f.nextLaunch(std::nullopt)->editorText(), DraftStore::initialEditorText());
    }

    void clearAllLocalRemovesBothEntries() {
        Fixture f;
        f.write(u"signed out"_s);
        f.store.setOwner(u"m"_s);
        f.write(u"member"_s);
        f.store.clearAllLocal(u"m"_s);
        QVERIFY(!f.defaults->value(u"drafts.m"_s));
        QVERIFY(!f.defaults->value(u"drafts.signed-out"_s));
        QVERIFY(f.store.drafts().isEmpty());
        QCOMPARE(f.store.ownerID(), std::nullopt);
        QCOMPARE(f.store.editorText(), u"Write a LinkedIn post..."_s);
    }

    // A value that is not a drafts list loads as none, and the save that replaces it keeps it
    // under a key of its own, once; deleting the owner's drafts takes it too.
    void unreadableStoredDraftsAreKeptAside_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("not JSON") << QByteArray("{oops");
        QTest::newRow("an object") << QByteArray(R"({"id":"x"})");
        QTest::newRow("drafts missing a key") << QByteArray(R"([{"body":"b"}])");
        QTest::newRow("what the old format could not read back") << QByteArray("a, b");
    }
    void unreadableStoredDraftsAreKeptAside() {
        QFETCH(QByteArray, stored);
        Fixture f;
        QCOMPARE(f.defaults->setValue(u"drafts.signed-out"_s, stored), StorageWriteStatus::written);
        DraftStore store(f.repository, {});
        QVERIFY(store.drafts().isEmpty());
        store.setEditorText(u"fresh"_s);
        store.saveDraft();
        QCOMPARE(store.statusMessage(), std::optional<QString>(u"Draft saved"_s));
        QCOMPARE(f.bodiesOnDisk(std::nullopt), QStringList{u"fresh"_s});
        const QString prefix = u"drafts.signed-out.unreadable-"_s;
        const QStringList aside = f.defaults->keys(prefix);
        QCOMPARE(aside.size(), 1);
        QCOMPARE(f.defaults->value(aside.first()), std::optional<QByteArray>(stored));
        // The date the value was set aside, in its name.
        QVERIFY(QDateTime::fromString(aside.first().mid(prefix.size()), Qt::ISODate).isValid());

        store.setEditorText(u"fresher"_s);
        store.saveDraft();
        QCOMPARE(f.defaults->keys(prefix), aside);

        store.clearAllLocal(std::nullopt);
        QCOMPARE(f.defaults->keys(u"drafts."_s), QStringList());
    }

    // A save or delete that cannot complete leaves what is stored, and the list shown, as they
    // were, keeps the editor's text and says why; once the fault is gone the next try stores.
    // Each fault is there from the start of a session, as after a restart.
    void aWriteThatCannotCompleteChangesNothingAndSaysWhy_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("reason");
        QTest::newRow("disk full") << u"full"_s << u"the disk is full."_s;
        QTest::newRow("read-only folder") << u"read-only"_s << u"the drafts folder is read-only."_s;
        QTest::newRow("locked by another program")
            << u"locked"_s << u"another program is using the drafts file."_s;
    }
    void aWriteThatCannotCompleteChangesNothingAndSaysWhy() {
        QFETCH(QString, fault);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"data/defaults.sqlite3"_s);
        const auto repositoryOn = [](const QString& file) {
            return std::make_shared<UserDefaultsDraftRepository>(
                u"drafts"_s, std::make_shared<SqliteUserDefaults>(file));
        };
        const auto bodiesOnDisk = [&](const std::optional<QString>& owner) {
            return bodiesOf(repositoryOn(path)->loadDrafts(owner));
        };
        {
            DraftStore earlier(repositoryOn(path), {});
            for (const auto& [owner, text] :
                 {std::pair<std::optional<QString>, QString>{std::nullopt, u"first"_s},
                  {u"member-1"_s, u"member's"_s},
                  {std::nullopt, u"second"_s}}) {
                earlier.setOwner(owner);
                earlier.newPost();
                earlier.setEditorText(text);
                earlier.saveDraft();
            }
        }

        std::optional<ReadOnlyFolder> readOnly;
        std::optional<SqliteWriteLock> lock;
        if (fault == u"read-only"_s) {
            readOnly.emplace(QFileInfo(path).path());
            if (!readOnly->isActive()) {
                QSKIP("Running as root without the right to set its own capabilities: a "
                      "read-only folder cannot stop this process writing.");
            }
        } else if (fault == u"locked"_s) {
            lock.emplace(path);
            QVERIFY(lock->isActive());
        }
        QList<AppTelemetryEvent> events;
        DraftStore store(repositoryOn(path), [&events](AppTelemetryEvent e) { events.append(e); });
        const QList<Draft> before = store.drafts();
        QCOMPARE(bodiesOf(before), QStringList({u"second"_s, u"first"_s}));
        const Draft& second = before.first();
        std::optional<FileSizeLimit> full;
        if (fault == u"full"_s) {
            // Less than one page more in any file: the log cannot take a commit.
            full.emplace(4096);
            QVERIFY(full->isActive());
        }

        // A new draft.
        const QString big(3000, u'x');
        QSignalSpy changes(&store, &DraftStore::draftsChanged);
        store.setEditorText(big);
        store.saveDraft();
        QCOMPARE(store.statusMessage(), std::optional<QString>(u"Draft not saved: "_s + reason));
        QCOMPARE(store.drafts(), before);
        QCOMPARE(changes.count(), 0);
        QCOMPARE(store.editorText(), big);
        QCOMPARE(store.editingDraftID(), std::nullopt);
        QVERIFY(events.isEmpty());

        // Edits of an opened draft, and the clear button that would store them first.
        store.openDraft(second);
        store.setEditorText(u"second, edited "_s + big);
        store.newPost();
        QCOMPARE(store.statusMessage(), std::optional<QString>(u"Draft not saved: "_s + reason));
        QCOMPARE(store.editorText(), u"second, edited "_s + big);
        QCOMPARE(store.editingDraftID(), std::optional<QUuid>(second.id));
        QCOMPARE(store.drafts(), before);

        // A deletion.
        store.deleteDraft(second.id);
        QCOMPARE(store.statusMessage(), std::optional<QString>(u"Draft not deleted: "_s + reason));
        QCOMPARE(store.drafts(), before);
        QCOMPARE(store.editingDraftID(), std::optional<QUuid>(second.id));

        full.reset();
        readOnly.reset();
        lock.reset();
        QCOMPARE(bodiesOnDisk(std::nullopt), QStringList({u"second"_s, u"first"_s}));
        QCOMPARE(bodiesOnDisk(u"member-1"_s), QStringList{u"member's"_s});

        // With the fault gone the same action stores.
        store.saveDraft();
        QCOMPARE(store.statusMessage(), std::optional<QString>(u"Draft saved"_s));
        QCOMPARE(bodiesOnDisk(std::nullopt), QStringList({u"second, edited "_s + big, u"first"_s}));
        QCOMPARE(events, QList<AppTelemetryEvent>{AppTelemetryEvent::draftSaved});
        QCOMPARE(QFile::permissions(path) & 0x0777, QFileDevice::ReadUser | QFileDevice::WriteUser);
    }

    // An account deletion whose local part cannot be written still ends the session, and says
    // the drafts are still on this computer.
    void clearAllLocalThatCannotWriteSaysSo() {
        Fixture f;
        f.store.setOwner(u"m"_s);
        f.write(u"member"_s);
        {
            SqliteWriteLock lock(f.path);
            QVERIFY(lock.isActive());
            f.store.clearAllLocal(u"m"_s);
        }
        QCOMPARE(f.store.statusMessage(),
                 std::optional<QString>(
                     u"Drafts not removed from this computer: another program is using the "
                     "drafts file."_s));
        QVERIFY(f.store.drafts().isEmpty());
        QCOMPARE(f.store.ownerID(), std::nullopt);
        QCOMPARE(f.bodiesOnDisk(u"m"_s), QStringList{u"member"_s});
    }

    // Every text typed comes back exactly, through the drafts file and a new launch.
    void draftTextComesBackExactly_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("byte order mark first") << u"\uFEFFHello"_s;
        QTest::newRow("only a byte order mark") << u"\uFEFF"_s;
        QTest::newRow("two byte order marks") << u"\uFEFF\uFEFFtwo"_s;
        QTest::newRow("byte order mark inside and last") << u"a\uFEFFb\uFEFF"_s;
        QTest::newRow("NUL and controls") << u"a\u0000b\u0001c\u007F"_s;
        QTest::newRow("noncharacters") << u"\uFFFE\uFFFF\U0010FFFF"_s;
    }
    void draftTextComesBackExactly() {
        QFETCH(QString, text);
        Fixture f;
        f.write(text);
        QCOMPARE(f.bodies(), QStringList{text});
        QCOMPARE(f.bodiesOnDisk(std::nullopt), QStringList{text});
        DraftStore nextLaunch(std::make_shared<UserDefaultsDraftRepository>(
                                  u"drafts"_s, std::make_shared<SqliteUserDefaults>(f.path)),
                              {});
        QCOMPARE(nextLaunch.drafts().value(0).body, text);
    }
};

QTEST_GUILESS_MAIN(TestDraftStore)
#include "tst_draftstore.moc"
