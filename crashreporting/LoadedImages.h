#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>

namespace quillon {

// The ELF objects loaded in this process, read from the dynamic linker's list, for an event's
// "debug_meta": which library (and which build of it) an instruction address belongs to.
// Reading the list takes the linker's lock, so it is done while healthy, never in a signal
// handler.
class LoadedImages {
public:
    struct Image {
        QString codeFile;
        std::uintptr_t imageAddress = 0;
        std::uint64_t imageSize = 0;
        QByteArray buildID; // the GNU build ID's bytes; empty when the object has none
    };

    LoadedImages() = delete;

    static QList<Image> collect();
    // Changes whenever an object is loaded or unloaded.
    static std::uint64_t generation();

    // The build ID as the envelope protocol's "code_id": lowercase hexadecimal.
    static QString codeID(const QByteArray& buildID);
    // Its first 16 bytes (zero-padded) as a little-endian GUID, lowercase with dashes.
    static QString debugID(const QByteArray& buildID);
    // {"images":[{"type":"elf",...},...]}
    static QByteArray debugMetaJson(const QList<Image>& images);
};

} // namespace quillon
