#include "crashreporting/LoadedImages.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <elf.h>
#include <limits>
#include <link.h>

using namespace Qt::StringLiterals;

namespace quillon {
namespace {

constexpr std::uint32_t gnuBuildIDType = NT_GNU_BUILD_ID;

std::size_t alignedUp(std::size_t value, std::size_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

// The GNU build ID among the notes of one loaded note segment.
QByteArray buildIDIn(const char* notes, std::size_t size, std::size_t alignment) {
    std::size_t offset = 0;
    while (offset + sizeof(ElfW(Nhdr)) <= size) {
        ElfW(Nhdr) header;
        std::memcpy(&header, notes + offset, sizeof(header));
        const std::size_t nameOffset = offset + sizeof(header);
        const std::size_t descOffset = nameOffset + alignedUp(header.n_namesz, alignment);
        const std::size_t next = descOffset + alignedUp(header.n_descsz, alignment);
        if (descOffset > size || header.n_descsz > size - descOffset) {
            break;
        }
        if (header.n_type == gnuBuildIDType && header.n_namesz == 4 &&
            std::memcmp(notes + nameOffset, "GNU", 4) == 0) {
            return QByteArray(notes + descOffset, static_cast<qsizetype>(header.n_descsz));
        }
        if (next <= offset) {
            break;
        }
        offset = next;
    }
    return QByteArray();
}

QString executablePath() {
    return QFile::symLinkTarget(u"/proc/self/exe"_s);
}

int addImage(dl_phdr_info* info, size_t, void* data) {
    auto* images = static_cast<QList<LoadedImages::Image>*>(data);
    LoadedImages::Image image;
    // The program itself has no name in the list.
    image.codeFile = info->dlpi_name && info->dlpi_name[0] ? QFile::decodeName(info->dlpi_name)
                                                           : executablePath();
    ElfW(Addr) lowest = std::numeric_limits<ElfW(Addr)>::max();
    ElfW(Addr) highest = 0;
    for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type == PT_LOAD) {
            lowest = std::min(lowest, segment.p_vaddr);
            highest = std::max(highest, segment.p_vaddr + segment.p_memsz);
        } else if (segment.p_type == PT_NOTE && image.buildID.isEmpty()) {
            const auto* notes = reinterpret_cast<const char*>(info->dlpi_addr + segment.p_vaddr);
            image.buildID = buildIDIn(notes, segment.p_memsz, segment.p_align == 8 ? 8 : 4);
        }
    }
    if (highest == 0) {
        return 0; // nothing mapped
    }
    image.imageAddress = info->dlpi_addr + lowest;
    image.imageSize = highest - lowest;
    images->append(image);
    return 0;
}

int readGeneration(dl_phdr_info* info, size_t size, void* data) {
    // The counters are given to every entry: the first is enough.
    if (size >= offsetof(dl_phdr_info, dlpi_subs) + sizeof(info->dlpi_subs)) {
        *static_cast<std::uint64_t*>(data) = info->dlpi_adds + info->dlpi_subs;
    }
    return 1;
}

} // namespace

QList<LoadedImages::Image> LoadedImages::collect() {
    QList<Image> images;
    dl_iterate_phdr(addImage, &images);
    return images;
}

std::uint64_t LoadedImages::generation() {
    std::uint64_t value = 0;
    dl_iterate_phdr(readGeneration, &value);
    return value;
}

QString LoadedImages::codeID(const QByteArray& buildID) {
    return QString::fromLatin1(buildID.toHex());
}

QString LoadedImages::debugID(const QByteArray& buildID) {
    QByteArray bytes = buildID.left(16);
    bytes.append(QByteArray(16 - bytes.size(), '\0'));
    // The first three fields of the GUID are stored little-endian.
    std::reverse(bytes.begin(), bytes.begin() + 4);
    std::reverse(bytes.begin() + 4, bytes.begin() + 6);
    std::reverse(bytes.begin() + 6, bytes.begin() + 8);
    const QByteArray hex = bytes.toHex();
    return QString::fromLatin1(hex.left(8) + '-' + hex.mid(8, 4) + '-' + hex.mid(12, 4) + '-' +
                               hex.mid(16, 4) + '-' + hex.mid(20));
}

QByteArray LoadedImages::debugMetaJson(const QList<Image>& images) {
    QJsonArray list;
    for (const Image& image : images) {
        QJsonObject entry{
            {u"type"_s, u"elf"_s},
            {u"code_file"_s, image.codeFile},
            {u"image_addr"_s, u"0x"_s + QString::number(quint64(image.imageAddress), 16)},
            {u"image_size"_s, qint64(image.imageSize)},
        };
        if (!image.buildID.isEmpty()) {
            entry.insert(u"code_id"_s, codeID(image.buildID));
            entry.insert(u"debug_id"_s, debugID(image.buildID));
        }
        list.append(entry);
    }
    return QJsonDocument(QJsonObject{{u"images"_s, list}}).toJson(QJsonDocument::Compact);
}

} // namespace quillon
