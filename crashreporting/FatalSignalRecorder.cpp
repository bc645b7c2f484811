#include "crashreporting/FatalSignalRecorder.h"

#include "crashreporting/LoadedImages.h"
#include "crashreporting/SentryEnvelope.h"

#include <QDir>
#include <QFile>
#include <array>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <execinfo.h>
#include <fcntl.h>
#include <memory>
#include <string>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace quillon {
namespace {

struct FatalSignal {
    int number;
    const char* name;
    const char* description;
};

constexpr std::array<FatalSignal, 6> fatalSignals{{
    {SIGSEGV, "SIGSEGV", "Segmentation fault"},
    {SIGBUS, "SIGBUS", "Bus error"},
    {SIGILL, "SIGILL", "Illegal instruction"},
    {SIGFPE, "SIGFPE", "Floating-point exception"},
    {SIGABRT, "SIGABRT", "Aborted"},
    {SIGTRAP, "SIGTRAP", "Trace/breakpoint trap"},
}};

constexpr int maximumFrames = 128;
constexpr size_t alternateStackSize = 64 * 1024;

// Rendered at installation; the handler only reads them.
struct Rendered {
    std::string path;
    std::string temporaryPath;
    std::string headerStart; // {"event_id":"..","dsn":"..","sent_at":"
    std::string eventStart;  // {"event_id":"..","timestamp":
    std::string eventMiddle; // ,"platform":..,"release":..,"exception":{"values":[{"type":"
};

Rendered* rendered = nullptr;
// The "debug_meta" object as the handler writes it. Replaced ones are kept until uninstall: a
// handler may be reading one while it is replaced.
std::atomic<const std::string*> renderedImages{nullptr};
std::vector<std::unique_ptr<std::string>> imageRenderings;
std::uint64_t imagesGeneration = 0;
std::array<struct sigaction, fatalSignals.size()> previousActions{};
stack_t previousStack{};
void* alternateStack = nullptr;
std::atomic<bool> handling{false};

// A fixed buffer filled without allocating.
class Writer {
public:
    void text(const char* s) { bytes(s, std::strlen(s)); }
    void text(const std::string& s) { bytes(s.data(), s.size()); }
    void bytes(const char* s, size_t n) {
        const size_t room = sizeof(m_data) - m_size;
        const size_t count = n < room ? n : room;
        std::memcpy(m_data + m_size, s, count);
        m_size += count;
    }
    void number(unsigned long long value, int minimumDigits = 1) {
        char digits[24];
        int count = 0;
        do {
            digits[count++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0 && count < 24);
        while (count < minimumDigits && count < 24) {
            digits[count++] = '0';
        }
        while (count > 0) {
            bytes(&digits[--count], 1);
        }
    }
    void hex(uintptr_t value) {
        static const char digits[] = "0123456789abcdef";
        char out[2 + 2 * sizeof(uintptr_t)];
        out[0] = '0';
        out[1] = 'x';
        for (size_t i = 0; i < 2 * sizeof(uintptr_t); ++i) {
            out[2 + i] = digits[(value >> (4 * (2 * sizeof(uintptr_t) - 1 - i))) & 0xf];
        }
        bytes(out, sizeof(out));
    }
    const char* data() const { return m_data; }
    size_t size() const { return m_size; }

private:
    // Room for the frames and for a few hundred loaded objects.
    char m_data[512 * 1024];
    size_t m_size = 0;
};

// Both live outside the stack, which may be the small alternate one.
Writer payloadWriter;
Writer fileWriter;

// Days since 1970-01-01 to a civil date (proleptic Gregorian), integers only.
void civilFromDays(long long days, long long& year, unsigned& month, unsigned& day) {
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned monthIndex = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    year = static_cast<long long>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
}

void writeTimestamp(Writer& out, const timespec& now) {
    const long long seconds = now.tv_sec;
    long long year = 0;
    unsigned month = 0;
    unsigned day = 0;
    civilFromDays(seconds / 86400, year, month, day);
    const long long secondOfDay = seconds % 86400;
    out.number(static_cast<unsigned long long>(year), 4);
    out.text("-");
    out.number(month, 2);
    out.text("-");
    out.number(day, 2);
    out.text("T");
    out.number(static_cast<unsigned long long>(secondOfDay / 3600), 2);
    out.text(":");
    out.number(static_cast<unsigned long long>(secondOfDay / 60 % 60), 2);
    out.text(":");
    out.number(static_cast<unsigned long long>(secondOfDay % 60), 2);
    out.text(".");
    out.number(static_cast<unsigned long long>(now.tv_nsec / 1000000), 3);
    out.text("Z");
}

uintptr_t faultingAddress(void* context) {
    if (!context) {
        return 0;
    }
    const auto* uc = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
    return static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__i386__)
    return static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_EIP]);
#elif defined(__aarch64__)
    return static_cast<uintptr_t>(uc->uc_mcontext.pc);
#else
    (void)uc;
    return 0;
#endif
}

void writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written <= 0) {
            return;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
}

void recordCrash(const FatalSignal& fatal, void* context) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);

    void* frames[maximumFrames];
    const int count = backtrace(frames, maximumFrames);
    // Skip this handler's own frames: start at the instruction that faulted when the unwinder
    // found it, else after the signal trampoline.
    const uintptr_t pc = faultingAddress(context);
    int first = 0;
    for (int i = 0; i < count; ++i) {
        if (reinterpret_cast<uintptr_t>(frames[i]) == pc) {
            first = i;
            break;
        }
    }

    Writer& event = payloadWriter;
    event.text(rendered->eventStart);
    event.number(static_cast<unsigned long long>(now.tv_sec));
    event.text(".");
    event.number(static_cast<unsigned long long>(now.tv_nsec / 1000000), 3);
    event.text(rendered->eventMiddle);
    event.text(fatal.name);
    event.text("\",\"value\":\"");
    event.text(fatal.description);
    event.text("\",\"mechanism\":{\"type\":\"signalhandler\",\"handled\":false,\"meta\":"
               "{\"signal\":{\"number\":");
    event.number(static_cast<unsigned long long>(fatal.number));
    event.text(",\"name\":\"");
    event.text(fatal.name);
    event.text("\"}}},\"stacktrace\":{\"frames\":[");
    // Sentry lists the outermost caller first and the crashing frame last.
    bool comma = false;
    for (int i = count - 1; i >= first; --i) {
        if (comma) {
            event.text(",");
        }
        event.text("{\"instruction_addr\":\"");
        event.hex(reinterpret_cast<uintptr_t>(frames[i]));
        event.text("\"}");
        comma = true;
    }
    event.text("]}}]}");
    if (const std::string* images = renderedImages.load()) {
        event.text(",\"debug_meta\":");
        event.text(*images);
    }
    event.text("}");

    Writer& file = fileWriter;
    file.text(rendered->headerStart);
    writeTimestamp(file, now);
    file.text("\"}\n{\"type\":\"event\",\"length\":");
    file.number(event.size());
    file.text("}\n");
    file.bytes(event.data(), event.size());
    file.text("\n");

    const int fd =
        open(rendered->temporaryPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return;
    }
    writeAll(fd, file.data(), file.size());
    fsync(fd);
    close(fd);
    rename(rendered->temporaryPath.c_str(), rendered->path.c_str());
}

void handleFatalSignal(int number, siginfo_t*, void* context) {
    size_t index = 0;
    while (index < fatalSignals.size() && fatalSignals[index].number != number) {
        ++index;
    }
    if (index == fatalSignals.size()) {
        return;
    }
    if (!handling.exchange(true)) {
        if (rendered) {
            recordCrash(fatalSignals[index], context);
        }
    } else {
        // Another thread is writing the one envelope; the process dies when it is done.
        for (;;) {
            pause();
        }
    }
    // The previous disposition (the default: die, with a core where allowed) takes the signal
    // once this handler returns: a fault happens again, a sent signal is sent again.
    sigaction(number, &previousActions[index], nullptr);
    raise(number);
}

} // namespace

bool FatalSignalRecorder::install(const QString& folder, const QString& dsn,
                                  const QString& environment, const QString& release) {
    if (rendered) {
        return false;
    }
    const QString eventID = envelope::newEventID();
    auto* r = new Rendered;
    const QString path = QDir(folder).filePath(eventID + u".envelope"_s);
    r->path = QFile::encodeName(path).toStdString();
    r->temporaryPath = r->path + ".tmp";
    r->headerStart = "{\"event_id\":\"" + eventID.toStdString() +
                     "\",\"dsn\":" + envelope::jsonString(dsn).toStdString() + ",\"sent_at\":\"";
    r->eventStart = "{\"event_id\":\"" + eventID.toStdString() + "\",\"timestamp\":";
    r->eventMiddle = ",\"platform\":\"native\",\"level\":\"fatal\",\"environment\":" +
                     envelope::jsonString(environment).toStdString() +
                     ",\"release\":" + envelope::jsonString(release).toStdString() +
                     ",\"exception\":{\"values\":[{\"type\":\"";
    rendered = r;
    imagesGeneration = 0;
    refreshImages();

    // The unwinder loads its library on first use, which allocates: do it now, not in the
    // handler.
    void* warmUp[1];
    backtrace(warmUp, 1);

    // A stack overflow leaves no stack to run the handler on.
    alternateStack = std::malloc(alternateStackSize);
    if (alternateStack) {
        stack_t stack{};
        stack.ss_sp = alternateStack;
        stack.ss_size = alternateStackSize;
        sigaltstack(&stack, &previousStack);
    }

    struct sigaction action {};
    action.sa_sigaction = handleFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    // A second fatal signal while the first is written is held back, not handled inside it.
    for (const FatalSignal& fatal : fatalSignals) {
        sigaddset(&action.sa_mask, fatal.number);
    }
    for (size_t i = 0; i < fatalSignals.size(); ++i) {
        sigaction(fatalSignals[i].number, &action, &previousActions[i]);
    }
    return true;
}

void FatalSignalRecorder::uninstall() {
    if (!rendered) {
        return;
    }
    for (size_t i = 0; i < fatalSignals.size(); ++i) {
        sigaction(fatalSignals[i].number, &previousActions[i], nullptr);
    }
    if (alternateStack) {
        sigaltstack(&previousStack, nullptr);
        std::free(alternateStack);
        alternateStack = nullptr;
    }
    delete rendered;
    rendered = nullptr;
    renderedImages = nullptr;
    imageRenderings.clear();
}

void FatalSignalRecorder::refreshImages() {
    if (!rendered) {
        return;
    }
    const std::uint64_t generation = LoadedImages::generation();
    if (renderedImages.load() && generation == imagesGeneration) {
        return;
    }
    imagesGeneration = generation;
    imageRenderings.push_back(std::make_unique<std::string>(
        LoadedImages::debugMetaJson(LoadedImages::collect()).toStdString()));
    renderedImages = imageRenderings.back().get();
}

bool FatalSignalRecorder::isInstalled() {
    return rendered != nullptr;
}

} // namespace quillon
