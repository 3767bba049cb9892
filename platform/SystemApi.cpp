#include "platform/Platform.h"
#include "platform/SystemApi.h"

#include "platform/CardFiles.h"
#include "platform/SideBySide.h"

namespace platform {
namespace {

// Forwarders give every entry the default calling convention, whatever the system's.
LPVOID CoTaskMemAllocImpl(SIZE_T size) { return ::CoTaskMemAlloc(size); }
void CoTaskMemFreeImpl(LPVOID block) { ::CoTaskMemFree(block); }
BSTR SysAllocStringImpl(const OLECHAR* text) { return ::SysAllocString(text); }
BSTR SysAllocStringLenImpl(const OLECHAR* text, UINT length) { return ::SysAllocStringLen(text, length); }
void SysFreeStringImpl(BSTR text) { ::SysFreeString(text); }
LPVOID HeapAllocImpl(HANDLE heap, DWORD flags, SIZE_T bytes) { return ::HeapAlloc(heap, flags, bytes); }
BOOL HeapFreeImpl(HANDLE heap, DWORD flags, LPVOID block) { return ::HeapFree(heap, flags, block); }
HLOCAL LocalFreeImpl(HLOCAL block) { return ::LocalFree(block); }

int MultiByteToWideCharImpl(UINT codePage, DWORD flags, LPCSTR source, int sourceLength, LPWSTR dest,
                            int destLength) {
    return ::MultiByteToWideChar(codePage, flags, source, sourceLength, dest, destLength);
}
int WideCharToMultiByteImpl(UINT codePage, DWORD flags, LPCWSTR source, int sourceLength, LPSTR dest,
                            int destLength, LPCSTR defaultChar, LPBOOL usedDefaultChar) {
    return ::WideCharToMultiByte(codePage, flags, source, sourceLength, dest, destLength, defaultChar,
                                 usedDefaultChar);
}
DWORD FormatMessageAImpl(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer,
                         DWORD size, va_list* arguments) {
    return ::FormatMessageA(flags, source, messageId, languageId, buffer, size, arguments);
}

HRESULT VariantCopyImpl(VARIANTARG* dest, const VARIANTARG* src) {
    // The Windows prototype takes a non-const source; it does not modify it.
    return ::VariantCopy(dest, const_cast<VARIANTARG*>(src));
}
HRESULT VariantClearImpl(VARIANTARG* v) { return ::VariantClear(v); }

HRESULT CoCreateInstanceImpl(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID riid, LPVOID* object) {
    return ::CoCreateInstance(clsid, outer, context, riid, object);
}

LANGID GetSystemDefaultLangIDImpl() { return ::GetSystemDefaultLangID(); }
int MessageBoxAImpl(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    return ::MessageBoxA(owner, text, caption, type);
}
BOOL WriteFileImpl(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
    return ::WriteFile(file, data, size, written, overlapped);
}
BOOL FlushFileBuffersImpl(HANDLE file) { return ::FlushFileBuffers(file); }
BOOL CloseHandleImpl(HANDLE handle) { return ::CloseHandle(handle); }
BOOL ReadFileImpl(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped) {
    return ::ReadFile(file, buffer, size, read, overlapped);
}
BOOL GetVolumeInformationByHandleWImpl(HANDLE file, LPWSTR volumeName, DWORD volumeNameSize, LPDWORD serialNumber,
                                       LPDWORD maximumComponentLength, LPDWORD fileSystemFlags, LPWSTR fileSystemName,
                                       DWORD fileSystemNameSize) {
    return ::GetVolumeInformationByHandleW(file, volumeName, volumeNameSize, serialNumber, maximumComponentLength,
                                           fileSystemFlags, fileSystemName, fileSystemNameSize);
}
void SleepImpl(DWORD milliseconds) { ::Sleep(milliseconds); }
BOOL GetFileInformationByHandleImpl(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information) {
    return ::GetFileInformationByHandle(file, information);
}

BOOL QueryPerformanceCounterImpl(LARGE_INTEGER* counter) { return ::QueryPerformanceCounter(counter); }

// Each entry by name: two entries of the same type cannot swap places unnoticed.
constexpr SystemApi MakeDefaults() {
    SystemApi api{};
    api.CoTaskMemAlloc = CoTaskMemAllocImpl;
    api.CoTaskMemFree = CoTaskMemFreeImpl;
    api.SysAllocString = SysAllocStringImpl;
    api.SysAllocStringLen = SysAllocStringLenImpl;
    api.SysFreeString = SysFreeStringImpl;
    api.HeapAlloc = HeapAllocImpl;
    api.HeapFree = HeapFreeImpl;
    api.LocalFree = LocalFreeImpl;
    api.MultiByteToWideChar = MultiByteToWideCharImpl;
    api.WideCharToMultiByte = WideCharToMultiByteImpl;
    api.FormatMessageA = FormatMessageAImpl;
    api.VariantCopy = VariantCopyImpl;
    api.VariantClear = VariantClearImpl;
    api.CoCreateInstance = CoCreateInstanceImpl;
    api.CoCreateSideBySide = CoCreateSideBySide;
    api.GetSystemDefaultLangID = GetSystemDefaultLangIDImpl;
    api.MessageBoxA = MessageBoxAImpl;
    api.WriteFile = WriteFileImpl;
    api.FlushFileBuffers = FlushFileBuffersImpl;
    api.CloseHandle = CloseHandleImpl;
    api.ReadFile = ReadFileImpl;
    api.GetVolumeInformationByHandleW = GetVolumeInformationByHandleWImpl;
    api.Sleep = SleepImpl;
    api.OpenCardFolder = card::OpenCardFolder;
    api.CloseCardFolder = card::CloseCardFolder;
    api.CardCreateFileA = card::CreateFileA;
    api.CardDeleteFileA = card::DeleteFileA;
    api.CardMoveFileExA = card::MoveFileExA;
    api.CardGetFileAttributesExA = card::GetFileAttributesExA;
    api.CardGetDiskFreeSpaceExA = card::GetDiskFreeSpaceExA;
    api.CardGetDiskFreeSpaceA = card::GetDiskFreeSpaceA;
    api.GetFileInformationByHandle = GetFileInformationByHandleImpl;
    api.QueryPerformanceCounter = QueryPerformanceCounterImpl;
    return api;
}

constexpr SystemApi kDefaults = MakeDefaults();

}  // namespace

const SystemApi kSystemDefaults = kDefaults;
SystemApi sys = kDefaults;

}  // namespace platform
