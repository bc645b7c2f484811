#include "core/app/PropertyList.h"

#include <QDateTime>
#include <QTimeZone>
#include <QVariantList>
#include <QVariantMap>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <plist/plist.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace quillon::plist {
namespace {

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

QString takeString(char* raw) {
    QString s = raw ? QString::fromUtf8(raw) : QString();
    std::free(raw);
    return s;
}

// Deeply nested input must not exhaust the stack.
constexpr int maxDepth = 256;

std::optional<QVariant> convert(plist_t node, int depth) {
    if (depth > maxDepth) {
        return std::nullopt;
    }
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return QVariant(value != 0);
    }
    case PLIST_UINT: {
        // libplist keeps every integer here as 64 bits; negative ones arrive as their two's
        // complement, so the value is read back as signed.
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return QVariant(static_cast<qint64>(value));
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return QVariant(value);
    }
    case PLIST_STRING: {
        char* raw = nullptr;
        plist_get_string_val(node, &raw);
        return QVariant(takeString(raw));
    }
    case PLIST_DATA: {
        char* raw = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &raw, &length);
        QByteArray bytes(raw, static_cast<qsizetype>(length));
        std::free(raw);
        return QVariant(bytes);
    }
    case PLIST_DATE: {
        int32_t sec = 0;
        int32_t usec = 0;
        plist_get_date_val(node, &sec, &usec);
        // Property-list dates count from 2001-01-01.
        const QDateTime reference(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());
        return QVariant(reference.addMSecs(qint64(sec) * 1000 + usec / 1000));
    }
    case PLIST_ARRAY: {
        QVariantList list;
        const uint32_t size = plist_array_get_size(node);
        for (uint32_t i = 0; i < size; ++i) {
            auto item = convert(plist_array_get_item(node, i), depth + 1);
            if (!item) {
                return std::nullopt;
            }
            list.append(std::move(*item));
        }
        return QVariant(list);
    }
    case PLIST_DICT: {
        QVariantMap map;
        plist_dict_iter iter = nullptr;
        plist_dict_new_iter(node, &iter);
        while (iter) {
            char* key = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(node, iter, &key, &value);
            if (!value) {
                std::free(key);
                break;
            }
            auto item = convert(value, depth + 1);
            if (!item) {
                std::free(key);
                std::free(iter);
                return std::nullopt;
            }
            map.insert(takeString(key), *item);
        }
        std::free(iter);
        return QVariant(map);
    }
    case PLIST_UID: {
        uint64_t value = 0;
        plist_get_uid_val(node, &value);
        return QVariant(static_cast<quint64>(value));
    }
    default:
        return std::nullopt;
    }
}

// libplist (2.2) ends the program on some input instead of refusing it: it asserts when it
// hands out text whose length and strlen() differ (U+0000 inside), frees and builds its trees
// by recursion, and builds a binary list's object again at every reference to it. Such input is
// refused here, before libplist sees it.

// Far above any configuration or Info.plist, and far below the nesting at which libplist's
// recursive free (one level per "<array>") runs out of an 8 MiB stack.
constexpr qsizetype maxBytes = 256 * 1024;

// libplist's reading of an n-byte big-endian integer: wider than 8 bytes, only the last 8 count.
quint64 readUnsigned(const QByteArray& bytes, qsizetype at, qsizetype width) {
    if (width > 8) {
        at += width - 8;
        width = 8;
    }
    quint64 value = 0;
    for (qsizetype i = 0; i < width; ++i) {
        value = (value << 8) | static_cast<quint8>(bytes[at + i]);
    }
    return value;
}

// Walks a binary property list from its root object the way libplist's parser does and says
// whether libplist may be given it: every object it would read is well formed (anything it
// would refuse is refused here too), no text holds U+0000, nesting stays within maxDepth, and
// the tree, with shared objects counted at every reference, has no more nodes than the input
// has bytes (a list written without shared containers never has more).
class BinaryWalk {
public:
    explicit BinaryWalk(const QByteArray& bytes)
        : m_bytes(bytes) {}

    bool acceptable() {
        constexpr qsizetype trailerSize = 32;
        if (m_bytes.size() < 8 + trailerSize) {
            return false;
        }
        const qsizetype trailer = m_bytes.size() - trailerSize;
        m_offsetSize = static_cast<quint8>(m_bytes[trailer + 6]);
        m_refSize = static_cast<quint8>(m_bytes[trailer + 7]);
        m_objects = readUnsigned(m_bytes, trailer + 8, 8);
        const quint64 root = readUnsigned(m_bytes, trailer + 16, 8);
        m_table = readUnsigned(m_bytes, trailer + 24, 8);
        if (m_objects == 0 || m_offsetSize == 0 || m_refSize == 0 || root >= m_objects ||
            m_table < 8 || m_table >= quint64(trailer) ||
            m_objects > (quint64(trailer) - m_table) / m_offsetSize) {
            return false;
        }
        m_state.assign(m_objects, Unvisited);
        m_nodes.assign(m_objects, 0);
        m_height.assign(m_objects, 0);
        return visit(root, 0) && m_nodes[root] <= quint64(m_bytes.size());
    }

private:
    enum State : quint8 { Unvisited, Visiting, Visited };

    quint64 offsetOf(quint64 index) const {
        return readUnsigned(m_bytes, qsizetype(m_table + index * m_offsetSize), m_offsetSize);
    }

    // Whether `length` bytes from `at` lie before the offset table, where objects end.
    bool fits(quint64 at, quint64 length) const { return at <= m_table && length <= m_table - at; }

    // Reads the object `index` and, through recursion, everything it holds; `depth` is how far
    // below the root it is.
    bool visit(quint64 index, int depth) {
        if (m_state[index] == Visiting) {
            return false; // a cycle, which libplist refuses too
        }
        if (m_state[index] == Visited) {
            return depth + m_height[index] <= maxDepth;
        }
        if (depth > maxDepth) {
            return false;
        }
        m_state[index] = Visiting;
        const quint64 offset = offsetOf(index);
        if (offset >= m_table) {
            return false;
        }
        const quint8 marker = static_cast<quint8>(m_bytes[qsizetype(offset)]);
        const quint8 type = marker & 0xF0;
        quint64 count = marker & 0x0F;
        quint64 at = offset + 1;
        const bool counted = type == 0x40 || type == 0x50 || type == 0x60 || type == 0xA0 ||
                             type == 0xC0 || type == 0xD0;
        if (counted && count == 0x0F) {
            // The count follows as an integer object: 0x1n, then 2^n bytes.
            const quint8 sizeMarker = static_cast<quint8>(m_bytes[qsizetype(at)]);
            const quint64 width = quint64(1) << (sizeMarker & 0x0F);
            if ((sizeMarker & 0xF0) != 0x10 || !fits(at + 1, width)) {
                return false;
            }
            count = readUnsigned(m_bytes, qsizetype(at + 1), qsizetype(width));
            at += 1 + width;
        }
        quint64 nodes = 1;
        int height = 0;
        switch (type) {
        case 0x00: // false, true; null and fill are refused
            if (count != 0x08 && count != 0x09) {
                return false;
            }
            break;
        case 0x10: // integers of 1, 2, 4, 8 or 16 bytes
            if (count > 4 || !fits(at, quint64(1) << count)) {
                return false;
            }
            break;
        case 0x20: // reals of 4 or 8 bytes
            if ((count != 2 && count != 3) || !fits(at, quint64(1) << count)) {
                return false;
            }
            break;
        case 0x30: // dates
            if (count != 3 || !fits(at, 8)) {
                return false;
            }
            break;
        case 0x40: // data
            if (!fits(at, count)) {
                return false;
            }
            break;
        case 0x50: // ASCII text, which libplist would cut at NUL
            if (!fits(at, count) || m_bytes.mid(qsizetype(at), qsizetype(count)).contains('\0')) {
                return false;
            }
            break;
        case 0x60: // UTF-16 text
            if (count > m_table / 2 || !fits(at, count * 2)) {
                return false;
            }
            for (quint64 unit = 0; unit < count; ++unit) {
                const qsizetype i = qsizetype(at + unit * 2);
                if (m_bytes[i] == 0 && m_bytes[i + 1] == 0) {
                    return false;
                }
            }
            break;
        case 0x80: // UIDs of up to 32 bits
            if (!fits(at, count + 1) ||
                readUnsigned(m_bytes, qsizetype(at), qsizetype(count + 1)) > 0xFFFFFFFFu) {
                return false;
            }
            break;
        case 0xA0:   // arrays
        case 0xC0:   // sets, which libplist reads as arrays
        case 0xD0: { // dictionaries: the keys' references, then the values'
            const quint64 refs = type == 0xD0 ? count * 2 : count;
            if (!fits(at, count) || !fits(at, refs * m_refSize)) {
                return false;
            }
            for (quint64 i = 0; i < refs; ++i) {
                const quint64 child =
                    readUnsigned(m_bytes, qsizetype(at + i * m_refSize), m_refSize);
                if (child >= m_objects || !visit(child, depth + 1)) {
                    return false;
                }
                // Keys are text, ASCII or UTF-16.
                const quint8 childType =
                    static_cast<quint8>(m_bytes[qsizetype(offsetOf(child))]) & 0xF0;
                if (type == 0xD0 && i < count && childType != 0x50 && childType != 0x60) {
                    return false;
                }
                nodes = std::min(nodes + m_nodes[child], quint64(m_bytes.size()) + 1);
                height = std::max(height, m_height[child] + 1);
            }
            break;
        }
        default:
            return false;
        }
        m_state[index] = Visited;
        m_nodes[index] = nodes;
        m_height[index] = height;
        return true;
    }

    const QByteArray& m_bytes;
    quint64 m_table = 0;
    quint64 m_objects = 0;
    quint8 m_offsetSize = 0;
    quint8 m_refSize = 0;
    std::vector<State> m_state;
    std::vector<quint64> m_nodes;
    std::vector<int> m_height;
};

} // namespace

std::optional<QVariant> parse(const QByteArray& bytes, QString* error) {
    auto fail = [error](const QString& why) -> std::optional<QVariant> {
        if (error) {
            *error = why;
        }
        return std::nullopt;
    };
    if (bytes.size() > maxBytes) {
        return fail(u"The data couldn't be read because it is too large."_s);
    }
    // XML allows no U+0000 at all; a binary list is walked object by object.
    const bool acceptable = bytes.startsWith("bplist00")
                                ? BinaryWalk(bytes).acceptable()
                                : !bytes.isEmpty() && !bytes.contains('\0');
    if (!acceptable) {
        return fail(u"The data couldn't be read because it isn't in the correct format."_s);
    }
    plist_t root = nullptr;
    plist_from_memory(bytes.constData(), static_cast<uint32_t>(bytes.size()), &root);
    PlistPtr owner(root);
    if (!root) {
        return fail(u"The data couldn't be read because it isn't in the correct format."_s);
    }
    auto value = convert(root, 0);
    if (!value) {
        return fail(u"The data couldn't be read because it holds a value of an unknown kind."_s);
    }
    return value;
}

QString describeType(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::QVariantMap:
        return u"a dictionary"_s;
    case QMetaType::QVariantList:
        return u"an array"_s;
    case QMetaType::QString:
        return u"text"_s;
    case QMetaType::Bool:
        return u"a Boolean"_s;
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return u"a number"_s;
    case QMetaType::QByteArray:
        return u"data"_s;
    case QMetaType::QDateTime:
        return u"a date"_s;
    default:
        return u"nothing"_s;
    }
}

} // namespace quillon::plist
