// The fuzz targets' own driver for compilers without libFuzzer (GCC): it feeds a target
// every file of the seed corpus and then pseudo-random mutations of them, all drawn from
// a fixed seed, so that every test run exercises the same inputs.  The command line is
// the subset of libFuzzer's that the tests use:
//
//   <target> [-runs=N] [-seed=N] [-max_len=N] <file or folder>...
//
// Folders give every regular file inside them, in name order.  -runs is the number of
// mutated inputs after the seeds (none by default).  An input that ends the program is
// written to <target>-crash.bin in the current folder, for replaying it alone.
#include "FuzzCheck.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(undefined_behavior_sanitizer)
#define FWUPGRADE_REPLAY_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define FWUPGRADE_REPLAY_SANITIZED 1
#endif
#if defined(FWUPGRADE_REPLAY_SANITIZED)
#include <sanitizer/common_interface_defs.h>
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;

// The input being run, for the report of a run that does not come back.  Written before
// each run; read only by the signal handler and the sanitizers' death callback.
struct CurrentInput {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    char origin[512] = {};
    char crashPath[512] = {};
    volatile std::sig_atomic_t saved = 0;
};

CurrentInput current;

void WriteAll(int fd, const void* data, std::size_t size) {
    const auto* p = static_cast<const char*>(data);
    while (size != 0) {
        const ssize_t written = write(fd, p, size);
        if (written <= 0) {
            return;
        }
        p += written;
        size -= static_cast<std::size_t>(written);
    }
}

// Async-signal-safe: only write, open and close.
void SaveCurrentInput() {
    if (current.saved != 0 || current.data == nullptr) {
        return;
    }
    current.saved = 1;
    static const char kLead[] = "\nfuzz replay: the program ended on ";
    WriteAll(STDERR_FILENO, kLead, sizeof kLead - 1);
    WriteAll(STDERR_FILENO, current.origin, std::strlen(current.origin));
    static const char kSaved[] = "; input written to ";
    WriteAll(STDERR_FILENO, kSaved, sizeof kSaved - 1);
    WriteAll(STDERR_FILENO, current.crashPath, std::strlen(current.crashPath));
    WriteAll(STDERR_FILENO, "\n", 1);
    const int fd = open(current.crashPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        WriteAll(fd, current.data, current.size);
        close(fd);
    }
}

void OnFatalSignal(int signal) {
    SaveCurrentInput();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void InstallCrashReport() {
    // The sanitizers report memory faults themselves and then call back; their handlers
    // for those signals stay in place.
#if defined(FWUPGRADE_REPLAY_SANITIZED)
    __sanitizer_set_death_callback(&SaveCurrentInput);
    const int signals[] = {SIGABRT};
#else
    const int signals[] = {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL};
#endif
    for (const int signal : signals) {
        std::signal(signal, &OnFatalSignal);
    }
}

// Runs one input from an exact-size block of its own, so that a read past its end is a
// read past the block.
void Run(const Bytes& input, const std::string& origin) {
    const std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[input.size()]);
    std::copy(input.begin(), input.end(), block.get());
    std::snprintf(current.origin, sizeof current.origin, "%s (%zu bytes)", origin.c_str(), input.size());
    current.data = block.get();
    current.size = input.size();
    LLVMFuzzerTestOneInput(block.get(), input.size());
    current.data = nullptr;
}

// Byte values that mean something to the targets: escapes and inserts of messages,
// lead and trail bytes of UTF-8, the high bytes of UTF-16 surrogates, the punctuation
// of scenario files, and the ends of the byte range.
constexpr std::uint8_t kInteresting[] = {0x00, 0x01, 0x7F, 0x80, 0xBF, 0xC0, 0xC3, 0xDF, 0xE0, 0xED, 0xEF, 0xF0,
                                         0xF4, 0xFF, 0xD8, 0xDB, 0xDC, '%',  '!',  '0',  '1',  '9',  '\r', '\n',
                                         '[',  ']',  '=',  '"',  '\\', '#',  ' ',  'u'};

class Mutator {
public:
    Mutator(std::uint32_t seed, std::size_t maxLength) : random_(seed), maxLength_(maxLength) {}

    Bytes Mutate(const std::vector<Bytes>& seeds) {
        Bytes bytes = seeds.empty() ? Bytes() : seeds[Below(seeds.size())];
        const std::size_t steps = 1 + Below(4);
        for (std::size_t i = 0; i < steps; ++i) {
            Step(bytes, seeds);
        }
        if (bytes.size() > maxLength_) {
            bytes.resize(maxLength_);
        }
        return bytes;
    }

private:
    // std::mt19937 gives the same numbers everywhere; the distributions of <random> do not.
    std::size_t Below(std::size_t bound) { return bound == 0 ? 0 : static_cast<std::size_t>(random_() % bound); }
    std::uint8_t AnyByte() { return static_cast<std::uint8_t>(random_() & 0xFF); }
    std::uint8_t InterestingByte() { return kInteresting[Below(sizeof kInteresting)]; }

    void Step(Bytes& bytes, const std::vector<Bytes>& seeds) {
        const std::size_t size = bytes.size();
        switch (Below(8)) {
            case 0:
                if (size != 0) {
                    bytes[Below(size)] ^= static_cast<std::uint8_t>(1u << Below(8));
                }
                break;
            case 1:
                if (size != 0) {
                    bytes[Below(size)] = InterestingByte();
                }
                break;
            case 2:
                if (size != 0) {
                    bytes[Below(size)] = AnyByte();
                }
                break;
            case 3:
                bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(Below(size + 1)),
                             Below(2) == 0 ? InterestingByte() : AnyByte());
                break;
            case 4:
                if (size != 0) {
                    const std::size_t first = Below(size);
                    const std::size_t count = 1 + Below(std::min<std::size_t>(16, size - first));
                    bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(first),
                                bytes.begin() + static_cast<std::ptrdiff_t>(first + count));
                }
                break;
            case 5:
                InsertPiece(bytes, bytes);
                break;
            case 6:
                if (!seeds.empty()) {
                    InsertPiece(bytes, seeds[Below(seeds.size())]);
                }
                break;
            default:
                bytes.resize(Below(size + 1));
                break;
        }
    }

    // Inserts a piece of `from` (which may be `into` itself) somewhere into `into`.
    void InsertPiece(Bytes& into, const Bytes& from) {
        if (from.empty()) {
            return;
        }
        const std::size_t first = Below(from.size());
        const std::size_t count = 1 + Below(std::min<std::size_t>(64, from.size() - first));
        const Bytes piece(from.begin() + static_cast<std::ptrdiff_t>(first),
                          from.begin() + static_cast<std::ptrdiff_t>(first + count));
        into.insert(into.begin() + static_cast<std::ptrdiff_t>(Below(into.size() + 1)), piece.begin(), piece.end());
    }

    std::mt19937 random_;
    std::size_t maxLength_;
};

bool ReadFile(const std::filesystem::path& path, Bytes& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// The files a path names: the file itself, or the regular files in a folder by name.
bool CollectInputs(const std::string& argument, std::vector<std::filesystem::path>& files) {
    const std::filesystem::path path(argument);
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        std::vector<std::filesystem::path> inFolder;
        for (const auto& entry : std::filesystem::directory_iterator(path, error)) {
            if (entry.is_regular_file()) {
                inFolder.push_back(entry.path());
            }
        }
        std::sort(inFolder.begin(), inFolder.end());
        files.insert(files.end(), inFolder.begin(), inFolder.end());
        return !error;
    }
    if (std::filesystem::is_regular_file(path, error)) {
        files.push_back(path);
        return true;
    }
    return false;
}

bool ReadOption(const std::string& argument, const char* name, unsigned long& value) {
    const std::string prefix = std::string("-") + name + "=";
    if (argument.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    const std::string digits = argument.substr(prefix.size());
    char* end = nullptr;
    value = std::strtoul(digits.c_str(), &end, 10);
    if (digits.empty() || *end != 0) {
        std::fprintf(stderr, "-%s needs a number\n", name);
        std::exit(2);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    unsigned long runs = 0;
    unsigned long seed = 1;
    unsigned long maxLength = 4096;
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (ReadOption(argument, "runs", runs) || ReadOption(argument, "seed", seed) ||
            ReadOption(argument, "max_len", maxLength)) {
            continue;
        }
        if (!argument.empty() && argument[0] == '-') {
            std::fprintf(stderr, "%s: unknown option %s\n", argv[0], argument.c_str());
            return 2;
        }
        if (!CollectInputs(argument, files)) {
            std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argument.c_str());
            return 2;
        }
    }

    const std::string program = std::filesystem::path(argv[0]).filename().string();
    std::snprintf(current.crashPath, sizeof current.crashPath, "%s-crash.bin", program.c_str());
    InstallCrashReport();

    std::vector<Bytes> seeds;
    for (const auto& file : files) {
        Bytes bytes;
        if (!ReadFile(file, bytes)) {
            std::fprintf(stderr, "%s: cannot read %s\n", argv[0], file.string().c_str());
            return 2;
        }
        Run(bytes, "seed " + file.string());
        seeds.push_back(std::move(bytes));
    }
    Mutator mutator(static_cast<std::uint32_t>(seed), maxLength);
    for (unsigned long run = 1; run <= runs; ++run) {
        Run(mutator.Mutate(seeds), "mutation " + std::to_string(run) + " (-seed=" + std::to_string(seed) + ")");
    }
    std::printf("%s: %zu seed inputs and %lu mutations ran\n", program.c_str(), seeds.size(), runs);
    return 0;
}
