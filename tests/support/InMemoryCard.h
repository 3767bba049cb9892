// A memory card in memory behind the card's services of the package write: the card itself,
// files by their path below its drive folder, open handles with their position, and the
// volume's sector size.  Unbuffered reads are checked as
// the device would take them (a sector-aligned buffer, whole sectors from whole-sector
// offsets, the read-back's chunk); the handles and flags the package write uses are checked
// as it must use them.  The card can keep other bytes than it is given, take fewer than
// asked, report its volume read-only, and describe the package otherwise than it holds it.
// Which call fails, and the log of the calls by step, are CardSteps' (installed after it).
//
// Replaces, for its life: OpenCardFolder, CloseCardFolder, CardCreateFileA, WriteFile,
// ReadFile, FlushFileBuffers, CloseHandle, CardDeleteFileA, CardGetDiskFreeSpaceA,
// CardMoveFileExA, CardGetFileAttributesExA and GetVolumeInformationByHandleW; every service
// must be given the card while it is open.  One card at a time.
#pragma once

#include "app/ReadBack.h"
#include "platform/CardFolder.h"
#include "platform/Platform.h"
#include "platform/SystemApi.h"
#include "support/FaultInjection.h"
#include "support/FileServicesSwap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

class InMemoryCard {
public:
    // The card's files lie in `folder` below its drive folder, whose volume the sector size is
    // asked of.
    explicit InMemoryCard(std::string folder) : folder_(std::move(folder)) { current_ = this; }
    ~InMemoryCard() { current_ = nullptr; }
    InMemoryCard(const InMemoryCard&) = delete;
    InMemoryCard& operator=(const InMemoryCard&) = delete;

    std::map<std::string, std::vector<BYTE>> files;
    DWORD sector = 512;
    DWORD shortBy = 0;       // a write takes this many bytes less than asked, and says so
    bool readOnly = false;   // the volume no longer takes writes
    DWORD attributes = FILE_ATTRIBUTE_NORMAL;  // of every file, as the card reports them
    DWORD sizeReportedOff = 0;                 // the card reports files this much larger
    // What the card keeps of a write: each byte as given, unless this changes it.
    std::vector<BYTE> (*stores)(const BYTE* data, DWORD size) = nullptr;
    const void* writtenFrom = nullptr;         // where the last write took its bytes from

    // The card opened through the seam, as the package write is given it.
    platform::CardFolder Open() const { return platform::CardFolder(platform::sys.OpenCardFolder("E:\\")); }

    bool AllClosed() const { return handles_.empty(); }
    std::vector<std::string> FileNames() const {
        std::vector<std::string> names;
        for (const auto& file : files) {
            names.push_back(file.first);
        }
        return names;
    }

private:
    friend class FileServicesSwap<InMemoryCard>;

    struct OpenFile {
        std::string path;
        bool forReading;
        std::size_t position;
    };

    OpenFile& Handle(HANDLE handle) {
        const auto found = handles_.find(reinterpret_cast<std::uintptr_t>(handle));
        EXPECT_NE(found, handles_.end()) << "a handle that is not open";
        return found == handles_.end() ? stray_ : found->second;
    }
    // Whether the service was given this card, open, and a path in its folder.
    bool OnCard(HANDLE card, LPCSTR path) const {
        return card == kCard && cardOpen_ && std::string(path).rfind(folder_, 0) == 0;
    }

    static HANDLE OpenCard(LPCSTR drive) {
        EXPECT_FALSE(current_->cardOpen_) << "the card opened twice";
        EXPECT_STREQ(drive, "E:\\");
        current_->cardOpen_ = true;
        return kCard;
    }

    static BOOL CloseCard(HANDLE card) {
        EXPECT_TRUE(card == kCard && current_->cardOpen_) << "a card that is not open";
        current_->cardOpen_ = false;
        return TRUE;
    }

    static HANDLE Create(HANDLE onCard, LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                         DWORD disposition, DWORD flags, HANDLE templateFile) {
        InMemoryCard& card = *current_;
        EXPECT_TRUE(card.OnCard(onCard, name)) << name;
        EXPECT_EQ(security, nullptr);
        EXPECT_EQ(templateFile, nullptr);
        const bool forReading = access == GENERIC_READ;
        if (forReading) {
            EXPECT_EQ(disposition, static_cast<DWORD>(OPEN_EXISTING));
            EXPECT_EQ(flags, static_cast<DWORD>(FILE_FLAG_NO_BUFFERING)) << "the read-back bypasses the cache";
            EXPECT_EQ(share, static_cast<DWORD>(FILE_SHARE_READ | FILE_SHARE_WRITE)) << "beside the writer's handle";
        } else {
            EXPECT_EQ(access, static_cast<DWORD>(GENERIC_WRITE));
            EXPECT_EQ(share, static_cast<DWORD>(FILE_SHARE_READ | FILE_SHARE_DELETE)) << "nobody else writes it";
            EXPECT_TRUE(disposition == CREATE_ALWAYS || disposition == OPEN_EXISTING) << disposition;
            EXPECT_EQ(flags, static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
        }
        if (disposition == OPEN_EXISTING && card.files.count(name) == 0) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        if (disposition == CREATE_ALWAYS) {
            card.files[name].clear();  // created anew or replaced, never appended to
        }
        card.nextHandle_ += 8;
        card.handles_[card.nextHandle_] = OpenFile{name, forReading, 0};
        return reinterpret_cast<HANDLE>(card.nextHandle_);
    }

    static BOOL Write(HANDLE handle, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
        InMemoryCard& card = *current_;
        EXPECT_EQ(overlapped, nullptr);
        const OpenFile& file = card.Handle(handle);
        EXPECT_FALSE(file.forReading);
        card.writtenFrom = data;
        const DWORD taken = size - card.shortBy;
        const auto* bytes = static_cast<const BYTE*>(data);
        const std::vector<BYTE> kept =
            card.stores != nullptr ? card.stores(bytes, taken) : std::vector<BYTE>(bytes, bytes + taken);
        std::vector<BYTE>& contents = card.files[file.path];
        contents.insert(contents.end(), kept.begin(), kept.end());
        *written = taken;
        return TRUE;
    }

    static BOOL Read(HANDLE handle, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped) {
        InMemoryCard& card = *current_;
        EXPECT_EQ(overlapped, nullptr);
        OpenFile& file = card.Handle(handle);
        EXPECT_TRUE(file.forReading);
        // What an unbuffered read requires.
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buffer) % card.sector, 0u) << "buffer not sector-aligned";
        EXPECT_EQ(size % card.sector, 0u) << "read size not a whole number of sectors";
        EXPECT_EQ(file.position % card.sector, 0u) << "read from an offset inside a sector";
        EXPECT_EQ(size, kReadBackChunk);
        const std::vector<BYTE>& contents = card.files[file.path];
        const std::size_t count =
            std::min<std::size_t>(size, contents.size() - std::min(file.position, contents.size()));
        std::copy_n(contents.begin() + static_cast<std::ptrdiff_t>(file.position), count, static_cast<BYTE*>(buffer));
        file.position += count;
        *read = static_cast<DWORD>(count);
        return TRUE;
    }

    static BOOL Flush(HANDLE handle) {
        EXPECT_FALSE(current_->Handle(handle).forReading);
        return TRUE;
    }

    static BOOL Close(HANDLE handle) {
        current_->Handle(handle);
        current_->handles_.erase(reinterpret_cast<std::uintptr_t>(handle));
        return TRUE;
    }

    static BOOL Delete(HANDLE card, LPCSTR name) {
        EXPECT_TRUE(current_->OnCard(card, name)) << name;
        if (current_->files.erase(name) == 0) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return FALSE;
        }
        return TRUE;
    }

    static BOOL Sectors(HANDLE card, LPCSTR root, LPDWORD perCluster, LPDWORD bytesPerSector, LPDWORD freeClusters,
                        LPDWORD totalClusters) {
        EXPECT_TRUE(current_->OnCard(card, root)) << root;
        EXPECT_EQ(root, current_->folder_);
        *perCluster = 8;
        *bytesPerSector = current_->sector;
        *freeClusters = 1000;
        *totalClusters = 2000;
        return TRUE;
    }

    // The package write's only move, and only while the writer holds the file and nobody
    // reads it: open handles follow their file to its new name.
    static BOOL Move(HANDLE onCard, LPCSTR existing, LPCSTR newName, DWORD flags) {
        InMemoryCard& card = *current_;
        EXPECT_TRUE(card.OnCard(onCard, existing) && card.OnCard(onCard, newName)) << existing << " -> " << newName;
        EXPECT_EQ(flags, static_cast<DWORD>(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
        EXPECT_EQ(card.handles_.size(), 1u) << "moved while the read-back's handle is open, or without the writer's";
        const auto found = card.files.find(existing);
        if (found == card.files.end()) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return FALSE;
        }
        for (auto& open : card.handles_) {
            EXPECT_FALSE(open.second.forReading);
            open.second.path = open.second.path == existing ? newName : open.second.path;
        }
        std::vector<BYTE> moved = std::move(found->second);
        card.files.erase(found);
        card.files[newName] = std::move(moved);
        return TRUE;
    }

    static BOOL Attributes(HANDLE card, LPCSTR name, GET_FILEEX_INFO_LEVELS level, LPVOID information) {
        EXPECT_TRUE(current_->OnCard(card, name)) << name;
        EXPECT_EQ(level, GetFileExInfoStandard);
        const auto found = current_->files.find(name);
        if (found == current_->files.end()) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return FALSE;
        }
        auto& data = *static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(information);
        data = WIN32_FILE_ATTRIBUTE_DATA{};
        data.dwFileAttributes = current_->attributes;
        data.nFileSizeLow = static_cast<DWORD>(found->second.size()) + current_->sizeReportedOff;
        return TRUE;
    }

    static BOOL Volume(HANDLE handle, LPWSTR name, DWORD, LPDWORD, LPDWORD, LPDWORD flags, LPWSTR fileSystem, DWORD) {
        EXPECT_FALSE(current_->Handle(handle).forReading) << "asked through the writer's handle";
        EXPECT_EQ(name, nullptr);
        EXPECT_EQ(fileSystem, nullptr);
        *flags = current_->readOnly ? FILE_READ_ONLY_VOLUME : 0;
        return TRUE;
    }

    // What the card is to the services: no file's handle and no system's.
    static inline const HANDLE kCard = reinterpret_cast<HANDLE>(std::uintptr_t{0xCA4D});

    std::string folder_;
    bool cardOpen_ = false;
    std::map<std::uintptr_t, OpenFile> handles_;
    std::uintptr_t nextHandle_ = 0x100;
    OpenFile stray_{};
    static inline InMemoryCard* current_ = nullptr;

    ScopedOverride<decltype(platform::SystemApi::OpenCardFolder)> openCard_{&platform::SystemApi::OpenCardFolder,
                                                                             OpenCard};
    ScopedOverride<decltype(platform::SystemApi::CloseCardFolder)> closeCard_{&platform::SystemApi::CloseCardFolder,
                                                                               CloseCard};
    FileServicesSwap<InMemoryCard> swap_;
};
