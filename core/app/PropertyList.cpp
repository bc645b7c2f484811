#include "core/app/PropertyList.h"

#include <QDateTime>
#include <QTimeZone>
#include <QVariantList>
#include <QVariantMap>
#include <algorithm>
#include <cstdlib>
#include <limits>
#include <memory>
#include <plist/plist.h>

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
            map.insert(takeString(key), std::move(*item));
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

quint64 readBigEndian(const QByteArray& bytes, qsizetype at, int width) {
    quint64 value = 0;
    for (int i = 0; i < width; ++i) {
        value = (value << 8) | static_cast<quint8>(bytes[at + i]);
    }
    return value;
}

// libplist aborts on an assertion when it hands out a string or key whose UTF-16 form holds
// U+0000 (its length and strlen() differ), so such input is refused before it is read. Looks
// at every object of a binary property list; anything malformed is left to libplist to refuse.
bool holdsNulInUtf16String(const QByteArray& bytes) {
    constexpr qsizetype trailerSize = 32;
    if (bytes.size() < 8 + trailerSize || !bytes.startsWith("bplist00")) {
        return false;
    }
    const qsizetype trailer = bytes.size() - trailerSize;
    const int offsetSize = static_cast<quint8>(bytes[trailer + 6]);
    const quint64 objects = readBigEndian(bytes, trailer + 8, 8);
    const quint64 table = readBigEndian(bytes, trailer + 24, 8);
    if (offsetSize < 1 || offsetSize > 8 || table >= quint64(trailer) ||
        objects > (quint64(trailer) - table) / quint64(offsetSize)) {
        return false;
    }
    for (quint64 i = 0; i < objects; ++i) {
        const quint64 offset =
            readBigEndian(bytes, qsizetype(table + i * quint64(offsetSize)), offsetSize);
        if (offset >= quint64(trailer)) {
            continue;
        }
        qsizetype at = qsizetype(offset);
        const quint8 marker = static_cast<quint8>(bytes[at++]);
        if ((marker & 0xF0) != 0x60) {
            continue;
        }
        quint64 units = marker & 0x0F;
        if (units == 0x0F) {
            // The length follows as an integer object: 0x1n, then 2^n bytes.
            if (at >= trailer || (static_cast<quint8>(bytes[at]) & 0xF0) != 0x10) {
                continue;
            }
            const int width = 1 << (static_cast<quint8>(bytes[at]) & 0x0F);
            if (width > 8 || at + 1 + width > trailer) {
                continue;
            }
            units = readBigEndian(bytes, at + 1, width);
            at += 1 + width;
        }
        const quint64 available = quint64(trailer - at) / 2;
        for (quint64 unit = 0; unit < std::min(units, available); ++unit) {
            if (bytes[at + qsizetype(unit) * 2] == 0 && bytes[at + qsizetype(unit) * 2 + 1] == 0) {
                return true;
            }
        }
    }
    return false;
}

} // namespace

std::optional<QVariant> parse(const QByteArray& bytes, QString* error) {
    auto fail = [error](const QString& why) -> std::optional<QVariant> {
        if (error) {
            *error = why;
        }
        return std::nullopt;
    };
    if (bytes.isEmpty() ||
        bytes.size() > static_cast<qsizetype>(std::numeric_limits<uint32_t>::max()) ||
        holdsNulInUtf16String(bytes)) {
        return fail(
            QStringLiteral("The data couldn't be read because it isn't in the correct format."));
    }
    plist_t root = nullptr;
    plist_from_memory(bytes.constData(), static_cast<uint32_t>(bytes.size()), &root);
    PlistPtr owner(root);
    if (!root) {
        return fail(
            QStringLiteral("The data couldn't be read because it isn't in the correct format."));
    }
    auto value = convert(root, 0);
    if (!value) {
        return fail(QStringLiteral(
            "The data couldn't be read because it holds a value of an unknown kind."));
    }
    return value;
}

QString describeType(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::QVariantMap:
        return QStringLiteral("a dictionary");
    case QMetaType::QVariantList:
        return QStringLiteral("an array");
    case QMetaType::QString:
        return QStringLiteral("text");
    case QMetaType::Bool:
        return QStringLiteral("a Boolean");
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return QStringLiteral("a number");
    case QMetaType::QByteArray:
        return QStringLiteral("data");
    case QMetaType::QDateTime:
        return QStringLiteral("a date");
    default:
        return QStringLiteral("nothing");
    }
}

} // namespace quillon::plist
