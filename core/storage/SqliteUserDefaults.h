#pragma once

#include "core/storage/UserDefaults.h"

#include <QHash>
#include <memory>

struct sqlite3;

namespace quillon {

// The defaults in one SQLite database: a key-value table, each write one transaction in a
// write-ahead log synced in full, so a write that cannot complete (a full disk, a read-only
// folder, an I/O error, a lock) leaves the entries as they were. The file is 0600 and its folder
// 0700. A file SQLite finds damaged at start is never written: it is moved aside with the date in
// its name and the store starts empty. No temporary files: SQLite keeps its scratch in memory.
class SqliteUserDefaults final : public UserDefaults {
public:
    // `legacyIni`: a defaults file in Qt's INI format of an earlier version, copied in (and left
    // as it is) when the database has no table yet.
    explicit SqliteUserDefaults(QString path, QString legacyIni = {});
    ~SqliteUserDefaults() override;
    SqliteUserDefaults(const SqliteUserDefaults&) = delete;
    SqliteUserDefaults& operator=(const SqliteUserDefaults&) = delete;

    // The app's standard store: "quillon/defaults.sqlite3" under the XDG data folder
    // (~/.local/share), importing "quillon/quillon.ini" under the XDG config folder.
    static std::shared_ptr<SqliteUserDefaults> standard();
    static QString standardPath();
    static QString standardLegacyIniPath();

    std::optional<QByteArray> value(const QString& key) override;
    QStringList keys(const QString& prefix) override;
    StorageWriteStatus write(const QList<Change>& changes) override;
    std::optional<QString> setAsideFile() const override { return m_setAsideFile; }

    const QString& path() const { return m_path; }

private:
    // Opens the database, setting a damaged one aside; false when it cannot be opened now.
    bool open();
    // Whether the file SQLite opened reads as a sound database.
    bool isSound();
    bool moveAside();
    bool hasTable();
    void close();
    StorageWriteStatus writeInTransaction(const QList<Change>& changes);

    const QString m_path;
    const QString m_legacyIni;
    sqlite3* m_db = nullptr;
    std::optional<QString> m_setAsideFile;
    // The legacy file's entries until the database holds them; read from here meanwhile.
    std::optional<QHash<QString, QByteArray>> m_pendingImport;
    StorageWriteStatus m_openStatus = StorageWriteStatus::written;
    // Opened for reading only: the folder could not take the write-ahead log.
    bool m_readOnly = false;
};

} // namespace quillon
