// The activation context owners against the real system: a class that only a manifest
// names is known to COM while the context is active, and only then, whichever way the
// owner's scope ends; a context that cannot be made says why and is never activated; the
// owners keep the caller's last error.
#include "platform/win32/ActivationContext.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "support/RowName.h"

namespace {

// A class nobody registers, which the test's manifest names, in a file that is not there.
const CLSID kManifestClass = {0x3D2F6A11, 0x5B7C, 0x4E0A, {0x8F, 0x21, 0x6C, 0x93, 0x1E, 0x57, 0xA4, 0x0D}};

const char kManifest[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
    "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\r\n"
    "  <assemblyIdentity type=\"win32\" name=\"fwupgrade.test.manifestclass\" version=\"1.0.0.0\"/>\r\n"
    "  <file name=\"absent.dll\">\r\n"
    "    <comClass clsid=\"{3D2F6A11-5B7C-4E0A-8F21-6C931E57A40D}\" threadingModel=\"Apartment\"/>\r\n"
    "  </file>\r\n"
    "</assembly>\r\n";

// A fresh folder in the temporary folder holding `test.manifest` and `notamodule.dll`.
class ManifestFolder {
public:
    ManifestFolder() {
        wchar_t temporary[MAX_PATH + 1];
        const DWORD length = GetTempPathW(MAX_PATH + 1, temporary);
        folder_ = std::wstring(temporary, length) + L"fwupgrade-actctx-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(folder_.c_str(), nullptr);
        Write(Manifest(), kManifest);
        Write(NotAModule(), "MZ but nothing more");
    }
    ~ManifestFolder() {
        DeleteFileW(Manifest().c_str());
        DeleteFileW(NotAModule().c_str());
        RemoveDirectoryW(folder_.c_str());
    }
    ManifestFolder(const ManifestFolder&) = delete;
    ManifestFolder& operator=(const ManifestFolder&) = delete;

    const std::wstring& Folder() const { return folder_; }
    std::wstring Manifest() const { return folder_ + L"\\test.manifest"; }
    std::wstring NotAModule() const { return folder_ + L"\\notamodule.dll"; }

private:
    static void Write(const std::wstring& path, const char* text) {
        const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        const DWORD size = static_cast<DWORD>(std::char_traits<char>::length(text));
        EXPECT_TRUE(WriteFile(file, text, size, &written, nullptr) && written == size);
        CloseHandle(file);
    }

    std::wstring folder_;
};

HRESULT CreateManifestClass() {
    IUnknown* object = nullptr;
    const HRESULT status = CoCreateInstance(kManifestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                            reinterpret_cast<LPVOID*>(&object));
    if (object != nullptr) {
        object->Release();
    }
    return status;
}

class ActivationContextTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override { CoUninitialize(); }

    ManifestFolder files_;
};

TEST_F(ActivationContextTest, LendsItsClassOnlyWhileActive) {
    ASSERT_EQ(CreateManifestClass(), REGDB_E_CLASSNOTREG);
    const platform::win32::ActivationContext context(files_.Manifest().c_str(), nullptr, files_.Folder().c_str());
    ASSERT_TRUE(context.IsValid()) << std::hex << context.Status();
    EXPECT_EQ(CreateManifestClass(), REGDB_E_CLASSNOTREG) << "made, not yet active";
    {
        const platform::win32::ActiveContext active(context);
        ASSERT_TRUE(active.IsActive()) << std::hex << active.Status();
        // COM knows the class now; its file is missing, which Wine answers with
        // E_ACCESSDENIED and Windows with the load error.
        const HRESULT status = CreateManifestClass();
        EXPECT_TRUE(FAILED(status));
        EXPECT_NE(status, REGDB_E_CLASSNOTREG);
    }
    EXPECT_EQ(CreateManifestClass(), REGDB_E_CLASSNOTREG) << "deactivated at the end of its scope";
    try {
        const platform::win32::ActiveContext active(context);
        ASSERT_TRUE(active.IsActive());
        throw std::runtime_error("leaving the scope");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(CreateManifestClass(), REGDB_E_CLASSNOTREG) << "deactivated when an exception left its scope";
}

TEST_F(ActivationContextTest, OwnersKeepTheCallersLastError) {
    {
        const platform::win32::ActivationContext context(files_.Manifest().c_str(), nullptr, files_.Folder().c_str());
        ASSERT_TRUE(context.IsValid());
        {
            const platform::win32::ActiveContext active(context);
            ASSERT_TRUE(active.IsActive());
            SetLastError(ERROR_INVALID_DATA);
        }
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA)) << "deactivation";
        SetLastError(ERROR_BAD_FORMAT);
    }
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_FORMAT)) << "release";
}

// Sources that give no context: each says why, and is never activated.
struct SourceCase {
    const char* name;
    std::wstring (*source)(const ManifestFolder&);
};

void PrintTo(const SourceCase& row, std::ostream* out) { *out << row.name; }

class ContextFrom : public ActivationContextTest, public testing::WithParamInterface<SourceCase> {};

TEST_P(ContextFrom, IsNotMadeAndSaysWhy) {
    const std::wstring source = GetParam().source(files_);
    const platform::win32::ActivationContext context(
        source.c_str(), MAKEINTRESOURCEW(2), files_.Folder().c_str());
    EXPECT_FALSE(context.IsValid());
    EXPECT_TRUE(FAILED(context.Status())) << std::hex << context.Status();
    const platform::win32::ActiveContext active(context);
    EXPECT_FALSE(active.IsActive());
    EXPECT_EQ(active.Status(), context.Status());
    EXPECT_EQ(CreateManifestClass(), REGDB_E_CLASSNOTREG);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, ContextFrom,
    testing::Values(
        SourceCase{"missing_file", [](const ManifestFolder& f) { return f.Folder() + L"\\usbcamera.dll"; }},
        SourceCase{"missing_folder",
                   [](const ManifestFolder& f) { return f.Folder() + L"\\usbcamera\\usbcamera.dll"; }},
        SourceCase{"no_module", [](const ManifestFolder& f) { return f.NotAModule(); }},
        // A manifest file read as a module with a manifest resource.
        SourceCase{"manifest_as_module", [](const ManifestFolder& f) { return f.Manifest(); }}),
    RowName<SourceCase>);

}  // namespace
