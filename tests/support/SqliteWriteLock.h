#pragma once

#include <QFile>
#include <QString>
#include <sqlite3.h>

namespace quillon::testing {

// Another connection holding the database's write lock, as a second copy of the app would
// in the middle of a write: every write of the store under test then ends locked.
class SqliteWriteLock {
public:
    explicit SqliteWriteLock(const QString& path) {
        sqlite3_open(QFile::encodeName(path).constData(), &m_db);
        m_active = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~SqliteWriteLock() { sqlite3_close_v2(m_db); }
    SqliteWriteLock(const SqliteWriteLock&) = delete;
    SqliteWriteLock& operator=(const SqliteWriteLock&) = delete;
    bool isActive() const { return m_active; }

private:
    sqlite3* m_db = nullptr;
    bool m_active = false;
};

} // namespace quillon::testing
