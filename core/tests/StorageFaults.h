#pragma once

// Faults a test can make on its own files without root's help, and without root's immunity.

#include <QFile>
#include <csignal>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace quillon::testing {

// Files this process writes may grow to `bytes` and no further, as on a nearly full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &m_previous);
        // A write beyond the limit fails with EFBIG instead of ending the process.
        m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_previous;
        limit.rlim_cur = bytes;
        m_active = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_previousHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool isActive() const { return m_active; }

private:
    rlimit m_previous{};
    void (*m_previousHandler)(int) = nullptr;
    bool m_active = false;
};

// While alive, the calling thread is held to file permissions as any user is: root's overrides
// (reading, writing and searching anything, changing any file's mode) are off. A plain user
// needs nothing of this. Inactive when root cannot set its capabilities.
class FilePermissionsHold {
public:
    FilePermissionsHold() {
        if (::geteuid() != 0) {
            m_active = true;
            return;
        }
        m_header.version = _LINUX_CAPABILITY_VERSION_3;
        m_header.pid = 0;
        if (::syscall(SYS_capget, &m_header, m_saved) != 0) {
            return;
        }
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[0].effective &=
            ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
        m_dropped = ::syscall(SYS_capset, &m_header, reduced) == 0;
        m_active = m_dropped;
    }
    ~FilePermissionsHold() {
        if (m_dropped) {
            ::syscall(SYS_capset, &m_header, m_saved);
        }
    }
    FilePermissionsHold(const FilePermissionsHold&) = delete;
    FilePermissionsHold& operator=(const FilePermissionsHold&) = delete;
    bool isActive() const { return m_active; }

private:
    __user_cap_header_struct m_header{};
    __user_cap_data_struct m_saved[2]{};
    bool m_dropped = false;
    bool m_active = false;
};

// A folder made read-only (0500) for as long as this lives, then writable (0700) again.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(QString path)
        : m_path(std::move(path)) {
        m_active = m_hold.isActive() &&
                   QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    }
    ~ReadOnlyFolder() {
        QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
    }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;
    bool isActive() const { return m_active; }

private:
    FilePermissionsHold m_hold;
    QString m_path;
    bool m_active = false;
};

} // namespace quillon::testing
