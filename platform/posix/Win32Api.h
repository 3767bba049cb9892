// The subset of the Win32 and COM interface that the core uses, declared for POSIX
// systems.  Names, types, constants and the vtable order of the interfaces follow the
// Windows headers, so the core compiles unchanged; the implementations live in the other
// files of platform/posix/.
//
// Differences that matter to a caller:
//  - Wide text is UTF-16 in char16_t (WCHAR, OLECHAR); write literals with OLESTR("...").
//  - WINAPI and STDMETHODCALLTYPE are empty: there is one calling convention here.
//  - The "ANSI code page" is the character set of the locale set with setlocale().
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------------------
// Basic types

#define WINAPI
#define STDMETHODCALLTYPE
#define STDAPI extern "C" HRESULT
#define CALLBACK

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using INT = int;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using BOOL = int;
using CHAR = char;
using WCHAR = char16_t;
using OLECHAR = char16_t;
using HRESULT = std::int32_t;
using SCODE = std::int32_t;
using LANGID = WORD;
using LCID = DWORD;
using SIZE_T = std::size_t;
using ULONG_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using DISPID = LONG;
using VARTYPE = std::uint16_t;
using VARIANT_BOOL = std::int16_t;

using PVOID = void*;
using LPVOID = void*;
using LPCVOID = const void*;
using LPSTR = char*;
using LPCSTR = const char*;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using LPOLESTR = OLECHAR*;
using BSTR = OLECHAR*;
using LPBOOL = BOOL*;
using LPDWORD = DWORD*;

#define OLESTR(str) u##str

// Opaque handles: distinct pointer types, as with STRICT on Windows.
struct HINSTANCE__;
struct HRSRC__;
struct HWND__;
using HANDLE = void*;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE__*;
using HRSRC = HRSRC__*;
using HGLOBAL = void*;
using HLOCAL = void*;
using HWND = HWND__*;

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)))

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
};
union ULARGE_INTEGER {
    struct {
        DWORD LowPart;
        DWORD HighPart;
    } u;
    ULONGLONG QuadPart;
};
using PULARGE_INTEGER = ULARGE_INTEGER*;

struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;
struct OVERLAPPED;
using LPOVERLAPPED = OVERLAPPED*;

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

enum GET_FILEEX_INFO_LEVELS { GetFileExInfoStandard, GetFileExMaxInfoLevel };

struct WIN32_FILE_ATTRIBUTE_DATA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
};

struct BY_HANDLE_FILE_INFORMATION {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD dwVolumeSerialNumber;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD nNumberOfLinks;
    DWORD nFileIndexHigh;
    DWORD nFileIndexLow;
};
using LPBY_HANDLE_FILE_INFORMATION = BY_HANDLE_FILE_INFORMATION*;

struct MEMORY_BASIC_INFORMATION {
    PVOID BaseAddress;
    PVOID AllocationBase;
    DWORD AllocationProtect;
    SIZE_T RegionSize;
    DWORD State;
    DWORD Protect;
    DWORD Type;
};
using PMEMORY_BASIC_INFORMATION = MEMORY_BASIC_INFORMATION*;

// ---------------------------------------------------------------------------------------
// Status codes and errors

#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)
#define MAKE_HRESULT_VALUE(v) static_cast<HRESULT>(static_cast<std::uint32_t>(v))

#define S_OK MAKE_HRESULT_VALUE(0x00000000u)
#define S_FALSE MAKE_HRESULT_VALUE(0x00000001u)
#define E_NOTIMPL MAKE_HRESULT_VALUE(0x80004001u)
#define E_NOINTERFACE MAKE_HRESULT_VALUE(0x80004002u)
#define E_POINTER MAKE_HRESULT_VALUE(0x80004003u)
#define E_ABORT MAKE_HRESULT_VALUE(0x80004004u)
#define E_FAIL MAKE_HRESULT_VALUE(0x80004005u)
#define E_UNEXPECTED MAKE_HRESULT_VALUE(0x8000FFFFu)
#define E_ACCESSDENIED MAKE_HRESULT_VALUE(0x80070005u)
#define E_OUTOFMEMORY MAKE_HRESULT_VALUE(0x8007000Eu)
#define E_INVALIDARG MAKE_HRESULT_VALUE(0x80070057u)
#define CLASS_E_NOAGGREGATION MAKE_HRESULT_VALUE(0x80040110u)
#define CLASS_E_CLASSNOTAVAILABLE MAKE_HRESULT_VALUE(0x80040111u)
#define REGDB_E_READREGDB MAKE_HRESULT_VALUE(0x80040150u)
#define REGDB_E_CLASSNOTREG MAKE_HRESULT_VALUE(0x80040154u)
#define CO_E_NOTINITIALIZED MAKE_HRESULT_VALUE(0x800401F0u)
#define CO_E_DLLNOTFOUND MAKE_HRESULT_VALUE(0x800401F8u)
#define CO_E_ERRORINDLL MAKE_HRESULT_VALUE(0x800401F9u)
#define DISP_E_BADVARTYPE MAKE_HRESULT_VALUE(0x80020008u)
#define DISP_E_MEMBERNOTFOUND MAKE_HRESULT_VALUE(0x80020003u)
#define DISP_E_BADINDEX MAKE_HRESULT_VALUE(0x8002000Bu)

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_OUTOFMEMORY 14L
#define ERROR_WRITE_FAULT 29L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_HANDLE_DISK_FULL 39L
#define ERROR_DISK_FULL 112L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_NO_WORK_DONE 235L
#define ERROR_INVALID_FLAGS 1004L
#define ERROR_NO_UNICODE_TRANSLATION 1113L
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_RESOURCE_DATA_NOT_FOUND 1812L
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813L
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L
#define ERROR_RESOURCE_LANG_NOT_FOUND 1815L
// Further errors of the file services
#define ERROR_TOO_MANY_OPEN_FILES 4L
#define ERROR_NOT_SAME_DEVICE 17L
#define ERROR_WRITE_PROTECT 19L
#define ERROR_GEN_FAILURE 31L
#define ERROR_FILE_EXISTS 80L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_FILE_TOO_LARGE 223L
#define ERROR_DIRECTORY 267L

// ---------------------------------------------------------------------------------------
// GUIDs

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

bool IsEqualGUID(REFGUID a, REFGUID b);
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return IsEqualGUID(a, b); }
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }
inline bool operator!=(REFGUID a, REFGUID b) { return !IsEqualGUID(a, b); }

// ---------------------------------------------------------------------------------------
// COM interfaces, in the Windows vtable order
//
// They have no destructor of their own: an object ends through its Release, and a virtual
// destructor would add a slot that the Windows layout does not have.  A class that
// implements them is final, or silences the same warning around its declaration.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

struct ITypeInfo;
struct IErrorInfo;

struct DISPPARAMS;
struct EXCEPINFO;
struct VARIANT;
using VARIANTARG = VARIANT;

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
using LPUNKNOWN = IUnknown*;

struct IDispatch : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count,
                                                    LCID lcid, DISPID* ids) = 0;
    virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags,
                                             DISPPARAMS* params, VARIANT* result,
                                             EXCEPINFO* excepInfo, UINT* argErr) = 0;
};

struct IEnumVARIANT : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* items, ULONG* fetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG count) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** copy) = 0;
};

struct ISupportErrorInfo : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) = 0;
};

struct IErrorInfo : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetGUID(GUID* guid) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSource(BSTR* source) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDescription(BSTR* description) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* helpFile) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* helpContext) = 0;
};

struct IClassFactory : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) = 0;
};

struct IBindCtx;

// OleRun starts an object that offers this interface; an object without it is running.
struct IRunnableObject : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetRunningClass(CLSID* clsid) = 0;
    virtual HRESULT STDMETHODCALLTYPE Run(IBindCtx* context) = 0;
    virtual BOOL STDMETHODCALLTYPE IsRunning() = 0;
    virtual HRESULT STDMETHODCALLTYPE LockRunning(BOOL lock, BOOL lastUnlockCloses) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetContainedObject(BOOL contained) = 0;
};
#pragma GCC diagnostic pop

extern const IID IID_IUnknown;
extern const IID IID_IDispatch;
extern const IID IID_IEnumVARIANT;
extern const IID IID_ISupportErrorInfo;
extern const IID IID_IErrorInfo;
extern const IID IID_IClassFactory;
extern const IID IID_IRunnableObject;
extern const IID IID_NULL;

// ---------------------------------------------------------------------------------------
// VARIANT (the subset of types that the system and its tools use)

enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_UNKNOWN = 13,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_BYREF = 0x4000,
};

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONG lVal;
        std::int16_t iVal;
        ULONG ulVal;
        INT intVal;
        UINT uintVal;
        SCODE scode;
        VARIANT_BOOL boolVal;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        PVOID byref;
        LONGLONG llVal;
        ULONGLONG ullVal;
        BYTE bVal;
        CHAR cVal;
        WORD uiVal;
        float fltVal;
        double dblVal;
    };
};

#define V_VT(v) ((v)->vt)
#define V_I4(v) ((v)->lVal)

struct DISPPARAMS {
    VARIANTARG* rgvarg;
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
};

struct EXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    PVOID pvReserved;
    HRESULT(*pfnDeferredFillIn)(EXCEPINFO*);
    SCODE scode;
};

// ---------------------------------------------------------------------------------------
// Constants of the calls below

#define CP_ACP 0u
#define CP_UTF8 65001u
// Not a Windows code page: file names as POSIX has them, bytes that are UTF-8 where they
// are UTF-8 at all.  A byte that begins no well-formed sequence stands for itself as the
// lone surrogate U+DC00 + byte, both ways, so that every name converts back exactly.
#define CP_POSIX_FILE_NAMES 0x10000u
#define MB_ERR_INVALID_CHARS 0x00000008u
#define WC_ERR_INVALID_CHARS 0x00000080u
#define WC_NO_BEST_FIT_CHARS 0x00000400u

#define CLSCTX_INPROC_SERVER 0x1u
#define CLSCTX_INPROC_HANDLER 0x2u
#define CLSCTX_LOCAL_SERVER 0x4u
#define REGCLS_MULTIPLEUSE 1u

#define MB_OK 0x00000000u
#define MB_OKCANCEL 0x00000001u
#define IDOK 1
#define IDCANCEL 2

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u
#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_DEVICE 0x00000040u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400u
#define FILE_READ_ONLY_VOLUME 0x00080000u
#define FILE_FLAG_NO_BUFFERING 0x20000000u

#define MOVEFILE_REPLACE_EXISTING 0x00000001u
#define MOVEFILE_WRITE_THROUGH 0x00000008u

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100u
#define FORMAT_MESSAGE_FROM_STRING 0x00000400u

#define LMEM_FIXED 0x0000u
#define LMEM_ZEROINIT 0x0040u
#define HEAP_ZERO_MEMORY 0x00000008u

#define MAKEINTRESOURCEA(i) (reinterpret_cast<LPSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))
#define IS_INTRESOURCE(r) ((reinterpret_cast<ULONG_PTR>(r) >> 16) == 0)
#define RT_STRING MAKEINTRESOURCEA(6)
#define RT_RCDATA MAKEINTRESOURCEA(10)

#define LANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(p, s) (static_cast<WORD>((static_cast<WORD>(s) << 10) | static_cast<WORD>(p)))
#define PRIMARYLANGID(lgid) (static_cast<WORD>(lgid) & 0x3ff)

// ---------------------------------------------------------------------------------------
// Functions

// COM task allocator and BSTR
LPVOID CoTaskMemAlloc(SIZE_T size);
void CoTaskMemFree(LPVOID p);
BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
BSTR SysAllocStringByteLen(LPCSTR bytes, UINT length);
void SysFreeString(BSTR s);
UINT SysStringLen(BSTR s);
UINT SysStringByteLen(BSTR s);

// VARIANT
void VariantInit(VARIANTARG* v);
HRESULT VariantClear(VARIANTARG* v);
HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* src);

// COM runtime
HRESULT CoInitialize(LPVOID reserved);
void CoUninitialize();
HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID riid, LPVOID* object);
HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, LPVOID reserved, REFIID riid, LPVOID* object);
// The product activates only through the registry; the runtime's tests register an
// in-process factory here to check activation against Windows' own runtime under Wine.
HRESULT CoRegisterClassObject(REFCLSID clsid, LPUNKNOWN factory, DWORD context, DWORD flags,
                              LPDWORD cookie);
HRESULT CoRevokeClassObject(DWORD cookie);
HRESULT OleRun(LPUNKNOWN object);
HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** info);
HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* info);

// Code pages and text
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceLength, LPWSTR dest,
                        int destLength);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceLength, LPSTR dest,
                        int destLength, LPCSTR defaultChar, LPBOOL usedDefaultChar);
UINT GetACP();
int lstrlenA(LPCSTR text);
int lstrlenW(LPCWSTR text);
DWORD GetLastError();
void SetLastError(DWORD error);
DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer,
                     DWORD size, va_list* arguments);
HANDLE GetProcessHeap();
LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID block);
HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
HLOCAL LocalFree(HLOCAL memory);
int wvsprintfA(LPSTR buffer, LPCSTR format, va_list arguments);

// Modules and resources
HMODULE GetModuleHandleA(LPCSTR name);
HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
HRSRC FindResourceExA(HMODULE module, LPCSTR type, LPCSTR name, WORD language);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL data);
DWORD SizeofResource(HMODULE module, HRSRC resource);
int LoadStringA(HINSTANCE module, UINT id, LPSTR buffer, int bufferSize);
SIZE_T VirtualQuery(LPCVOID address, PMEMORY_BASIC_INFORMATION info, SIZE_T length);
LANGID GetSystemDefaultLangID();

// User interface
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// Files and time
BOOL GetDiskFreeSpaceExA(LPCSTR directory, PULARGE_INTEGER freeBytesAvailable, PULARGE_INTEGER totalBytes,
                         PULARGE_INTEGER totalFreeBytes);
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                   DWORD flags, HANDLE templateFile);
BOOL WriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped);
BOOL FlushFileBuffers(HANDLE file);
BOOL CloseHandle(HANDLE handle);
BOOL DeleteFileA(LPCSTR name);
BOOL GetDiskFreeSpaceA(LPCSTR rootPath, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector, LPDWORD freeClusters,
                       LPDWORD totalClusters);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped);
BOOL MoveFileExA(LPCSTR existing, LPCSTR newName, DWORD flags);
BOOL GetFileAttributesExA(LPCSTR name, GET_FILEEX_INFO_LEVELS level, LPVOID information);
BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information);
BOOL GetVolumeInformationByHandleW(HANDLE file, LPWSTR volumeName, DWORD volumeNameSize, LPDWORD serialNumber,
                                   LPDWORD maximumComponentLength, LPDWORD fileSystemFlags, LPWSTR fileSystemName,
                                   DWORD fileSystemNameSize);
void Sleep(DWORD milliseconds);
BOOL QueryPerformanceCounter(LARGE_INTEGER* counter);
DWORD GetCurrentThreadId();
LONG InterlockedIncrement(LONG volatile* value);
LONG InterlockedDecrement(LONG volatile* value);

// The program's entry, as on Windows; the POSIX main() calls it.
int WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);
