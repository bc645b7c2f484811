#include "core/storage/SqliteUserDefaults.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace quillon {
namespace {

StorageWriteStatus statusOfErrno(int error) {
    switch (error) {
    case ENOSPC:
    case EDQUOT:
    // A file-size limit (RLIMIT_FSIZE) is a full disk to the user.
    case EFBIG:
        return StorageWriteStatus::diskFull;
    case EROFS:
    case EACCES:
    case EPERM:
        return StorageWriteStatus::readOnly;
    default:
        return StorageWriteStatus::failed;
    }
}

// Whether a write of the file at `path` failed for want of room: the file system is (nearly)
// full, or the file has reached this process's file-size limit. SQLite does not always keep
// the system's reason for a failed write, so the state is looked at instead.
bool isOutOfRoom(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    struct statvfs disk {};
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    if (::statvfs(folder.constData(), &disk) == 0 &&
        quint64(disk.f_bavail) * disk.f_frsize < 1024 * 1024) {
        return true;
    }
    struct stat file {};
    rlimit limit{};
    return ::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
           ::stat(native.constData(), &file) == 0 &&
           rlim_t(file.st_size) + 64 * 1024 > limit.rlim_cur;
}

StorageWriteStatus statusOf(sqlite3* db, int result, const QString& path) {
    switch (result & 0xff) {
    case SQLITE_FULL:
        return StorageWriteStatus::diskFull;
    case SQLITE_READONLY:
        return StorageWriteStatus::readOnly;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return StorageWriteStatus::locked;
    case SQLITE_IOERR:
        if (isOutOfRoom(path)) {
            return StorageWriteStatus::diskFull;
        }
        break;
    default:
        break;
    }
    // SQLite reports a short write past a file-size limit, or a journal it could not create,
    // as an I/O error; the system's reason, when it has one, says which.
    return statusOfErrno(db != nullptr ? sqlite3_system_errno(db) : 0);
}

bool isDamage(int result) {
    return (result & 0xff) == SQLITE_CORRUPT || (result & 0xff) == SQLITE_NOTADB;
}

// Takes group and other bits away, never adds any: a folder the user made read-only stays so.
void keepPrivate(const QString& path) {
    struct stat info {};
    const QByteArray native = QFile::encodeName(path);
    if (::stat(native.constData(), &info) == 0 && (info.st_mode & 077) != 0) {
        ::chmod(native.constData(), info.st_mode & 07700);
    }
}

// A statement that steps through its rows and is finalized however it ends.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) {
        m_result = sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr);
    }
    ~Statement() { sqlite3_finalize(m_statement); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool isValid() const { return m_statement != nullptr; }
    int result() const { return m_result; }
    void bind(int index, const QString& text) {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(m_statement, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    void bind(int index, const QByteArray& bytes) {
        // Never NULL, also for empty bytes: the column is NOT NULL.
        sqlite3_bind_blob(m_statement, index, bytes.isNull() ? "" : bytes.constData(),
                          int(bytes.size()), SQLITE_TRANSIENT);
    }
    // True while there is a row; result() tells how the statement ended.
    bool step() {
        if (!isValid()) {
            return false;
        }
        m_result = sqlite3_step(m_statement);
        return m_result == SQLITE_ROW;
    }
    bool run() {
        step();
        return m_result == SQLITE_DONE || m_result == SQLITE_ROW;
    }
    QByteArray bytes(int column) const {
        return QByteArray(static_cast<const char*>(sqlite3_column_blob(m_statement, column)),
                          sqlite3_column_bytes(m_statement, column));
    }
    QString text(int column) const {
        return QString::fromUtf8(
            reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column)),
            sqlite3_column_bytes(m_statement, column));
    }

private:
    sqlite3_stmt* m_statement = nullptr;
    int m_result = SQLITE_OK;
};

// The entries of an earlier version's INI file as Qt's own reader sees them, read from the file
// itself; none when there is no such file. A line the reader skips costs only that line.
std::optional<QHash<QString, QByteArray>> readLegacyIni(const QString& path) {
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        return std::nullopt;
    }
    const QSettings ini(path, QSettings::IniFormat);
    QHash<QString, QByteArray> entries;
    for (const QString& key : ini.allKeys()) {
        const QVariant value = ini.value(key);
        // Drafts were bytes; the pending deletion was text.
        entries.insert(key, value.typeId() == QMetaType::QByteArray ? value.toByteArray()
                                                                    : value.toString().toUtf8());
    }
    return entries;
}

// "file.damaged-2026-12-11-093000", or with "-2", "-3"... when that name is taken.
QString asideName(const QString& path) {
    const QString base =
        path + u".damaged-"_s + QDateTime::currentDateTime().toString(u"yyyy-MM-dd-HHmmss"_s);
    QString name = base;
    for (int n = 2; QFileInfo::exists(name); ++n) {
        name = base + u'-' + QString::number(n);
    }
    return name;
}

bool renameFile(const QString& from, const QString& to) {
    // Never QFile::rename: where a rename fails it copies.
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

const char* const createTable =
    "CREATE TABLE IF NOT EXISTS entries (key TEXT PRIMARY KEY NOT NULL, value BLOB NOT NULL)";

} // namespace

SqliteUserDefaults::SqliteUserDefaults(QString path, QString legacyIni)
    : m_path(std::move(path))
    , m_legacyIni(std::move(legacyIni)) {
    const bool opened = open();
    const bool fresh = opened ? !hasTable() : QFileInfo(m_path).size() == 0;
    // After a damaged store the old file would bring back what the user has since changed.
    if (fresh && !m_setAsideFile) {
        m_pendingImport = readLegacyIni(m_legacyIni);
        if (opened && m_pendingImport) {
            writeInTransaction({});
        }
    }
}

SqliteUserDefaults::~SqliteUserDefaults() {
    close();
}

QString SqliteUserDefaults::standardPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           u"/quillon/defaults.sqlite3"_s;
}

QString SqliteUserDefaults::standardLegacyIniPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           u"/quillon/quillon.ini"_s;
}

std::shared_ptr<SqliteUserDefaults> SqliteUserDefaults::standard() {
    return std::make_shared<SqliteUserDefaults>(standardPath(), standardLegacyIniPath());
}

void SqliteUserDefaults::close() {
    sqlite3_close_v2(m_db);
    m_db = nullptr;
}

bool SqliteUserDefaults::open() {
    if (m_db != nullptr) {
        return true;
    }
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!QFileInfo::exists(folder)) {
        if (!QDir().mkpath(folder)) {
            m_openStatus = statusOfErrno(errno);
            return false;
        }
        ::chmod(QFile::encodeName(folder).constData(), 0700);
    }
    keepPrivate(folder);
    const QByteArray native = QFile::encodeName(m_path);
    if (!QFileInfo::exists(m_path)) {
        // Created owner-only before SQLite opens it; its journal takes the same permissions.
        const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) {
            m_openStatus = statusOfErrno(errno);
            return false;
        }
        if (fd >= 0) {
            ::close(fd);
        }
    }
    keepPrivate(m_path);
    const bool readOnly = m_readOnly;
    // Read-only, the file is opened as one that cannot change: SQLite then needs no shared
    // memory file beside it, which such a folder could not take.
    const QByteArray name =
        readOnly ? QUrl::fromLocalFile(m_path).toEncoded() + "?immutable=1" : native;
    int result = sqlite3_open_v2(
        name.constData(), &m_db,
        readOnly ? SQLITE_OPEN_READONLY | SQLITE_OPEN_URI : SQLITE_OPEN_READWRITE, nullptr);
    if (result == SQLITE_OK) {
        sqlite3_extended_result_codes(m_db, 1);
        // Another copy of the app writing at the same moment is waited for, briefly.
        sqlite3_busy_timeout(m_db, 1000);
        // Temporary data in memory, never in TMPDIR; every commit synced before it returns.
        result = sqlite3_exec(m_db, "PRAGMA temp_store = MEMORY; PRAGMA synchronous = FULL",
                              nullptr, nullptr, nullptr);
    }
    if (isDamage(result) || (result == SQLITE_OK && !isSound())) {
        close();
        if (m_setAsideFile || readOnly) {
            m_openStatus = StorageWriteStatus::failed;
            return false;
        }
        if (!moveAside()) {
            // Left where it is and never written to.
            m_openStatus = statusOfErrno(errno);
            return false;
        }
        return open();
    }
    if (result == SQLITE_OK && !readOnly) {
        // A commit is one synced append to the log, about as costly as writing a file whole.
        Statement journal(m_db, "PRAGMA journal_mode = WAL");
        result = journal.run() ? SQLITE_OK : journal.result();
    }
    if (result != SQLITE_OK) {
        m_openStatus = statusOf(m_db, result, m_path);
        close();
        if (m_openStatus == StorageWriteStatus::readOnly && !readOnly) {
            // A folder that cannot take the log: what is stored can still be read.
            m_readOnly = true;
            const bool opened = open();
            m_openStatus = StorageWriteStatus::readOnly;
            return opened;
        }
        return false;
    }
    return true;
}

bool SqliteUserDefaults::isSound() {
    Statement check(m_db, "PRAGMA quick_check");
    QStringList findings;
    while (check.step()) {
        findings.append(check.text(0));
    }
    if (isDamage(check.result())) {
        return false;
    }
    // Any other failure (a lock, an I/O error) says nothing about the file.
    return check.result() != SQLITE_DONE || findings == QStringList{u"ok"_s};
}

bool SqliteUserDefaults::moveAside() {
    const QString aside = asideName(m_path);
    if (!renameFile(m_path, aside)) {
        return false;
    }
    // A journal belongs to its database: it goes along, under the name SQLite looks for.
    for (const char* companion : {"-journal", "-wal", "-shm"}) {
        const QString name = m_path + QLatin1String(companion);
        if (QFileInfo::exists(name)) {
            renameFile(name, aside + QLatin1String(companion));
        }
    }
    std::fprintf(stderr, "quillon: the defaults database was damaged; moved to %s\n",
                 qPrintable(aside));
    m_setAsideFile = aside;
    return true;
}

bool SqliteUserDefaults::hasTable() {
    Statement find(m_db, "SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name = 'entries'");
    return find.step();
}

std::optional<QByteArray> SqliteUserDefaults::value(const QString& key) {
    if (m_pendingImport) {
        const auto it = m_pendingImport->constFind(key);
        return it != m_pendingImport->cend() ? std::optional<QByteArray>(*it) : std::nullopt;
    }
    if (!open()) {
        return std::nullopt;
    }
    Statement select(m_db, "SELECT value FROM entries WHERE key = ?1");
    select.bind(1, key);
    return select.step() ? std::optional<QByteArray>(select.bytes(0)) : std::nullopt;
}

QStringList SqliteUserDefaults::keys(const QString& prefix) {
    if (m_pendingImport) {
        QStringList found;
        for (auto it = m_pendingImport->cbegin(); it != m_pendingImport->cend(); ++it) {
            if (it.key().startsWith(prefix)) {
                found.append(it.key());
            }
        }
        return found;
    }
    if (!open()) {
        return {};
    }
    // A few dozen keys at most: compared here, free of SQL's text rules.
    Statement select(m_db, "SELECT key FROM entries");
    QStringList found;
    while (select.step()) {
        if (const QString key = select.text(0); key.startsWith(prefix)) {
            found.append(key);
        }
    }
    return found;
}

StorageWriteStatus SqliteUserDefaults::write(const QList<Change>& changes) {
    if (m_readOnly) {
        // The folder may have become writable since.
        close();
        m_readOnly = false;
    }
    if (!open() || m_readOnly) {
        return m_openStatus;
    }
    return writeInTransaction(changes);
}

StorageWriteStatus SqliteUserDefaults::writeInTransaction(const QList<Change>& changes) {
    // One entry stored, or removed when there is no value.
    const auto apply = [this](const QString& key, const std::optional<QByteArray>& value) {
        Statement statement(m_db,
                            value ? "INSERT OR REPLACE INTO entries (key, value) VALUES (?1, ?2)"
                                  : "DELETE FROM entries WHERE key = ?1");
        statement.bind(1, key);
        if (value) {
            statement.bind(2, *value);
        }
        return statement.run() ? SQLITE_OK : statement.result();
    };
    // The write lock from the start: the table check and the writes see one state.
    int result = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    const bool begun = result == SQLITE_OK;
    if (begun && !hasTable()) {
        result = sqlite3_exec(m_db, createTable, nullptr, nullptr, nullptr);
        if (result == SQLITE_OK && m_pendingImport) {
            for (auto it = m_pendingImport->cbegin();
                 it != m_pendingImport->cend() && result == SQLITE_OK; ++it) {
                result = apply(it.key(), it.value());
            }
        }
    }
    for (auto it = changes.cbegin(); it != changes.cend() && result == SQLITE_OK; ++it) {
        result = apply(it->key, it->value);
    }
    if (result == SQLITE_OK) {
        result = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
    }
    if (result != SQLITE_OK) {
        const StorageWriteStatus status = statusOf(m_db, result, m_path);
        if (begun && sqlite3_get_autocommit(m_db) == 0) {
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        }
        return status;
    }
    m_pendingImport.reset();
    return StorageWriteStatus::written;
}

} // namespace quillon
