// The operating-system services that tests must be able to replace or make fail.
//
// What belongs here: every service a test replaces or fails, every allocator together with
// its own free, and nothing the tests leave alone.
//
// The core calls these through `platform::sys` (sys.CoTaskMemAlloc(n), ...); production
// entries forward straight to the system.  A test swaps an entry for the length of one
// scope (tests/support/FaultInjection.h) to fail the n-th allocation or conversion, to
// answer a message box, to report a card's free space, to check that a block went back to
// the allocator it came from, and so on.  Every entry has the signature of the Win32
// function it stands for, in the default calling convention; the card's services, which no
// Win32 function stands for, are this system's own, shaped after the Win32 ones they
// resemble.
#pragma once

#include "platform/Platform.h"

#include <cstdarg>

namespace platform {

// Where a creation from a component beside the program ended (SystemApi::CoCreateSideBySide).
enum class SideBySideStep {
    kUnsupported,    // the system has no side-by-side components
    kProgramFolder,  // the program's own path could not be had
    kContext,        // no activation context from the component's manifest: no folder, no
                     // file, not a module, or no manifest in it
    kActivation,     // the context could not be made active
    kCreation,       // created within the context: CoCreateInstance's own answer
};

struct SystemApi {
    // Allocators, each with its free: the COM task allocator, the BSTR allocator, the
    // ordinary heap, and the local memory in which FormatMessageA hands out its output.
    LPVOID (*CoTaskMemAlloc)(SIZE_T size);
    void (*CoTaskMemFree)(LPVOID block);
    BSTR (*SysAllocString)(const OLECHAR* text);
    BSTR (*SysAllocStringLen)(const OLECHAR* text, UINT length);
    void (*SysFreeString)(BSTR text);
    LPVOID (*HeapAlloc)(HANDLE heap, DWORD flags, SIZE_T bytes);
    BOOL (*HeapFree)(HANDLE heap, DWORD flags, LPVOID block);
    HLOCAL (*LocalFree)(HLOCAL block);

    // Code-page conversion and message formatting.
    int (*MultiByteToWideChar)(UINT codePage, DWORD flags, LPCSTR source, int sourceLength, LPWSTR dest,
                               int destLength);
    int (*WideCharToMultiByte)(UINT codePage, DWORD flags, LPCWSTR source, int sourceLength, LPSTR dest,
                               int destLength, LPCSTR defaultChar, LPBOOL usedDefaultChar);
    DWORD (*FormatMessageA)(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer,
                            DWORD size, va_list* arguments);

    // VARIANT copy and clear, which the camera conversation checks.
    HRESULT (*VariantCopy)(VARIANTARG* dest, const VARIANTARG* src);
    HRESULT (*VariantClear)(VARIANTARG* v);

    // Activation of the camera component.
    HRESULT (*CoCreateInstance)(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID riid, LPVOID* object);
    // Creation from a component carried beside the program (registration-free COM): the
    // DLL `component`, a path relative to the program's own folder, lends its embedded
    // manifest (resource 2) to an activation context that is active for this one
    // CoCreateInstance only.  COM looks in an active context before the registry, so call
    // it only once the registry has answered REGDB_E_CLASSNOTREG: a registered server then
    // keeps the class.  `step` receives how far it got, for the trace.  On POSIX, which has
    // no side-by-side components, the class stays not registered.
    HRESULT (*CoCreateSideBySide)(LPCWSTR component, REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID riid,
                                  LPVOID* object, SideBySideStep* step);

    // The services of the upgrade procedure.
    LANGID (*GetSystemDefaultLangID)();
    int (*MessageBoxA)(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
    BOOL (*WriteFile)(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped);
    BOOL (*FlushFileBuffers)(HANDLE file);
    BOOL (*CloseHandle)(HANDLE handle);
    // The staged write's read-back, and whether the volume still takes writes (a system may
    // turn a file system it finds inconsistent read-only while the write goes on).
    BOOL (*ReadFile)(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped);
    BOOL (*GetVolumeInformationByHandleW)(HANDLE file, LPWSTR volumeName, DWORD volumeNameSize, LPDWORD serialNumber,
                                          LPDWORD maximumComponentLength, LPDWORD fileSystemFlags,
                                          LPWSTR fileSystemName, DWORD fileSystemNameSize);
    void (*Sleep)(DWORD milliseconds);

    // The card, which no Win32 function stands for.  OpenCardFolder opens the card's drive
    // folder as the camera component named it (where the system mounts the card is its own
    // business) and hands out the card, which CloseCardFolder closes; INVALID_HANDLE_VALUE
    // with the last error set (ERROR_PATH_NOT_FOUND for no such folder) when it cannot.
    // Cards are independent of each other: any number may be open at once.
    //
    // The file services after them are the Win32 ones of the same names, each given a card
    // and, for its path, one below the card's drive folder: the program's own names
    // separated by '\'.  No folder below the drive folder is reached through a symbolic
    // link, a junction, a mount point, "." or "..", and the last name is never followed
    // (refused where it would have to be); such a folder, and a path that begins with a
    // separator, fail the service with ERROR_PATH_NOT_FOUND.  POSIX holds the drive folder's
    // descriptor and opens each folder relative to the one above, every name relative to its
    // folder; Windows holds the drive folder open and, while a service runs, each folder
    // below it, opened without following reparse points, against being moved or removed.
    // A card that is not open (one whose drive folder could not be opened) fails every
    // service with ERROR_INVALID_HANDLE.
    HANDLE (*OpenCardFolder)(LPCSTR driveFolder);
    BOOL (*CloseCardFolder)(HANDLE card);
    HANDLE (*CardCreateFileA)(HANDLE card, LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                              DWORD disposition, DWORD flags, HANDLE templateFile);
    BOOL (*CardDeleteFileA)(HANDLE card, LPCSTR name);
    // The move of the staged file over the package, which with MOVEFILE_WRITE_THROUGH also
    // puts the folder's new entry on the card.
    BOOL (*CardMoveFileExA)(HANDLE card, LPCSTR existing, LPCSTR newName, DWORD flags);
    // What the card holds under the package's name once it has been moved there.
    BOOL (*CardGetFileAttributesExA)(HANDLE card, LPCSTR name, GET_FILEEX_INFO_LEVELS level, LPVOID information);
    BOOL (*CardGetDiskFreeSpaceExA)(HANDLE card, LPCSTR directory, PULARGE_INTEGER freeBytesAvailable,
                                    PULARGE_INTEGER totalBytes, PULARGE_INTEGER totalFreeBytes);
    // The volume's units: its clusters for the room check, its sectors for the read-back's
    // unbuffered reads.
    BOOL (*CardGetDiskFreeSpaceA)(HANDLE card, LPCSTR directory, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                                  LPDWORD freeClusters, LPDWORD totalClusters);
    // What a handle's file is (attributes, volume, identity): what Windows' card services ask
    // of each folder below the card's drive folder, and so where a test makes one a reparse
    // point that the host cannot make.
    BOOL (*GetFileInformationByHandle)(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information);

    // The high-resolution counter a trace scope reads for its duration.
    BOOL (*QueryPerformanceCounter)(LARGE_INTEGER* counter);
};

// The entries in force.  Initialized at compile time with the system's own services, so
// it is usable before any constructor of static objects has run.
extern SystemApi sys;

// The production entries, for tests that wrap them.
extern const SystemApi kSystemDefaults;

}  // namespace platform
