// The built utility carries exactly the resources the resource compiler made of its
// scripts: the same set of (type, name, language), nothing more, each byte for byte.  Its
// manifest is well-formed XML that the system's loader accepts and that holds the settings
// the program runs with; its version resource holds the build's model name and version.
// Reads the program file itself, loaded as data, through the system's own calls.
#include "CatalogueLanguages.h"
#include "support/ResFile.h"

#include <gtest/gtest.h>

#include <shlwapi.h>
#include <xmllite.h>

#include <cstdlib>
#include <cwchar>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "platform/Platform.h"

namespace {

using Key = std::tuple<unsigned, unsigned, unsigned>;  // type, name, language
using Bytes = std::vector<unsigned char>;

struct Enumeration {
    HMODULE module;
    std::map<Key, Bytes> found;
    std::vector<std::string> problems;
};

BOOL CALLBACK OnLanguage(HMODULE module, LPCSTR type, LPCSTR name, WORD language, LONG_PTR param) {
    auto* e = reinterpret_cast<Enumeration*>(param);
    HRSRC resource = FindResourceExA(module, type, name, language);
    const auto* data = static_cast<const unsigned char*>(LockResource(LoadResource(module, resource)));
    const DWORD size = SizeofResource(module, resource);
    const Key key{static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(type)),
                  static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(name)), language};
    e->found[key] = data != nullptr ? Bytes(data, data + size) : Bytes();
    return TRUE;
}

BOOL CALLBACK OnName(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR param) {
    auto* e = reinterpret_cast<Enumeration*>(param);
    if (!IS_INTRESOURCE(name)) {
        e->problems.push_back(std::string("resource with a string name: ") + name);
        return TRUE;
    }
    EnumResourceLanguagesA(module, type, name, OnLanguage, param);
    return TRUE;
}

BOOL CALLBACK OnType(HMODULE module, LPSTR type, LONG_PTR param) {
    auto* e = reinterpret_cast<Enumeration*>(param);
    if (!IS_INTRESOURCE(type)) {
        e->problems.push_back(std::string("resource type with a string name: ") + type);
        return TRUE;
    }
    EnumResourceNamesA(module, type, OnName, param);
    return TRUE;
}

// The program under test, from the test's CTest entry.
const char* ProgramPath() {
    const char* exe = std::getenv("FWUPGRADE_EXE");
    return exe != nullptr ? exe : "";
}

// The program file loaded as data, for its resources; freed on every path.
class ProgramData {
public:
    ProgramData() : module_(LoadLibraryExA(ProgramPath(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~ProgramData() {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }
    ProgramData(const ProgramData&) = delete;
    ProgramData& operator=(const ProgramData&) = delete;

    HMODULE Get() const { return module_; }

    // The bytes of one resource in one language; empty when it is absent.
    Bytes Resource(WORD type, WORD name, WORD language) const {
        HRSRC resource = FindResourceExA(module_, MAKEINTRESOURCEA(type), MAKEINTRESOURCEA(name), language);
        if (resource == nullptr) {
            return {};
        }
        const auto* data = static_cast<const unsigned char*>(LockResource(LoadResource(module_, resource)));
        return data != nullptr ? Bytes(data, data + SizeofResource(module_, resource)) : Bytes();
    }

private:
    HMODULE module_;
};

constexpr WORD kManifestType = 24;  // RT_MANIFEST
constexpr WORD kVersionType = 16;   // RT_VERSION
constexpr WORD kNeutral = 0;        // LANG_NEUTRAL, SUBLANG_NEUTRAL

TEST(ExecutableResourcesTest, UtilityCarriesExactlyTheCompiledResources) {
    ProgramData program;
    ASSERT_NE(program.Get(), nullptr) << "cannot load " << ProgramPath() << " as data, error " << GetLastError();

    Enumeration e{program.Get(), {}, {}};
    EnumResourceTypesA(program.Get(), OnType, reinterpret_cast<LONG_PTR>(&e));
    EXPECT_TRUE(e.problems.empty()) << e.problems.front();

    std::map<Key, Bytes> expected;
    for (const char* res_file : {FWUPGRADE_RES_FILE, FWUPGRADE_PROGRAM_RES_FILE}) {
        std::string error;
        const std::vector<CompiledResource> compiled = ReadResFile(res_file, error);
        ASSERT_TRUE(error.empty()) << error;
        for (const CompiledResource& r : compiled) {
            expected[Key{r.type, r.name, r.language}] = r.data;
        }
    }

    // A string table per catalogue language, RCDATA 118, 120, 121 and 128, the icon group
    // and its three images; the manifest and the version resource.
    ASSERT_EQ(expected.size(), std::size(kCatalogueLanguages) + 10u);
    EXPECT_EQ(expected.count(Key{kManifestType, 1, kNeutral}), 1u);
    EXPECT_EQ(expected.count(Key{kVersionType, 1, kNeutral}), 1u);
    for (const auto& [key, bytes] : expected) {
        const auto& [type, name, language] = key;
        SCOPED_TRACE("type " + std::to_string(type) + ", name " + std::to_string(name) + ", language " +
                     std::to_string(language));
        const auto carried = e.found.find(key);
        ASSERT_NE(carried, e.found.end()) << "missing from the program";
        EXPECT_TRUE(carried->second == bytes) << "different bytes";
    }
    for (const auto& [key, bytes] : e.found) {
        const auto& [type, name, language] = key;
        EXPECT_EQ(expected.count(key), 1u) << "the program carries an extra resource: type " << type << ", name "
                                           << name << ", language " << language;
    }
}

// One element of an XML document: its namespace, name, attributes, text and parent.
struct Element {
    std::wstring space;
    std::wstring name;
    std::map<std::wstring, std::wstring> attributes;
    std::wstring text;
    std::size_t parent;
};
constexpr std::size_t kNoParent = static_cast<std::size_t>(-1);

struct ReleaseInterface {
    void operator()(IUnknown* object) const { object->Release(); }
};
struct FreeModule {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};

// The elements of `document` in document order, read by the system's XML reader (no
// document type processing); `error` says why when it is not well-formed XML.
std::vector<Element> ReadXml(const Bytes& document, std::string& error) {
    const std::unique_ptr<std::remove_pointer_t<HMODULE>, FreeModule> xmllite(LoadLibraryA("xmllite.dll"));
    const FARPROC entry = xmllite ? GetProcAddress(xmllite.get(), "CreateXmlReader") : nullptr;
    if (entry == nullptr) {
        error = "the system's XML reader (xmllite.dll) is not there";
        return {};
    }
    using CreateReader = HRESULT(WINAPI*)(REFIID, void**, IMalloc*);
    const auto create = reinterpret_cast<CreateReader>(reinterpret_cast<void (*)()>(entry));
    IXmlReader* raw_reader = nullptr;
    if (FAILED(create(__uuidof(IXmlReader), reinterpret_cast<void**>(&raw_reader), nullptr))) {
        error = "cannot make an XML reader";
        return {};
    }
    const std::unique_ptr<IXmlReader, ReleaseInterface> reader(raw_reader);
    const std::unique_ptr<IStream, ReleaseInterface> stream(
        SHCreateMemStream(document.data(), static_cast<UINT>(document.size())));
    if (!stream || FAILED(reader->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit)) ||
        FAILED(reader->SetInput(stream.get()))) {
        error = "cannot give the document to the XML reader";
        return {};
    }

    std::vector<Element> elements;
    std::vector<std::size_t> open;
    const WCHAR* value = nullptr;
    XmlNodeType type = XmlNodeType_None;
    HRESULT read = S_OK;
    while ((read = reader->Read(&type)) == S_OK) {
        if (type == XmlNodeType_Element) {
            Element element{{}, {}, {}, {}, open.empty() ? kNoParent : open.back()};
            reader->GetNamespaceUri(&value, nullptr);
            element.space = value;
            reader->GetLocalName(&value, nullptr);
            element.name = value;
            const bool empty = reader->IsEmptyElement() != FALSE;
            for (HRESULT at = reader->MoveToFirstAttribute(); at == S_OK; at = reader->MoveToNextAttribute()) {
                if (reader->IsDefault() == FALSE) {
                    reader->GetLocalName(&value, nullptr);
                    std::wstring name = value;
                    reader->GetValue(&value, nullptr);
                    element.attributes[name] = value;
                }
            }
            elements.push_back(element);
            if (!empty) {
                open.push_back(elements.size() - 1);
            }
        } else if (type == XmlNodeType_EndElement && !open.empty()) {
            open.pop_back();
        } else if (type == XmlNodeType_Text && !open.empty()) {
            reader->GetValue(&value, nullptr);
            elements[open.back()].text += value;
        }
    }
    if (FAILED(read)) {
        std::ostringstream why;
        why << "not well-formed XML (error 0x" << std::hex << static_cast<unsigned long>(read) << ")";
        error = why.str();
        return {};
    }
    return elements;
}

// The elements called `name` in namespace `space`.
std::vector<const Element*> Named(const std::vector<Element>& elements, const wchar_t* space, const wchar_t* name) {
    std::vector<const Element*> found;
    for (const Element& element : elements) {
        if (element.space == space && element.name == name) {
            found.push_back(&element);
        }
    }
    return found;
}

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

TEST(ExecutableResourcesTest, ManifestHoldsTheSettingsTheProgramRunsWith) {
    ProgramData program;
    ASSERT_NE(program.Get(), nullptr) << "cannot load " << ProgramPath() << " as data, error " << GetLastError();
    const Bytes document = program.Resource(kManifestType, 1, kNeutral);
    ASSERT_FALSE(document.empty()) << "no language-neutral manifest 1";
    std::string error;
    const std::vector<Element> elements = ReadXml(document, error);
    ASSERT_TRUE(error.empty()) << error;

    const wchar_t* const kAsmV1 = L"urn:schemas-microsoft-com:asm.v1";
    const wchar_t* const kAsmV3 = L"urn:schemas-microsoft-com:asm.v3";
    // Never elevated by the installer heuristic for a name like RQ5600_update.exe.
    const auto level = Named(elements, kAsmV3, L"requestedExecutionLevel");
    ASSERT_EQ(level.size(), 1u);
    EXPECT_EQ(Narrow(level[0]->attributes.at(L"level")), "asInvoker");
    EXPECT_EQ(Narrow(level[0]->attributes.at(L"uiAccess")), "false");

    // Vista, 7, 8, 8.1 and 10/11: no compatibility behaviours of an old program.
    std::set<std::string> systems;
    for (const Element* os : Named(elements, L"urn:schemas-microsoft-com:compatibility.v1", L"supportedOS")) {
        systems.insert(Narrow(os->attributes.at(L"Id")));
    }
    EXPECT_EQ(systems, (std::set<std::string>{"{e2011457-1546-43c5-a5fe-008deee3d3f0}",
                                              "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                                              "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
                                              "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                                              "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}));

    const auto aware = Named(elements, L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware");
    ASSERT_EQ(aware.size(), 1u);
    EXPECT_EQ(Narrow(aware[0]->text), "true");
    const auto awareness = Named(elements, L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness");
    ASSERT_EQ(awareness.size(), 1u);
    EXPECT_EQ(Narrow(awareness[0]->text), "PerMonitorV2");

    // Common Controls 6, named as the dependency of the program's assembly.
    std::vector<const Element*> controls;
    for (const Element* identity : Named(elements, kAsmV1, L"assemblyIdentity")) {
        if (identity->parent != kNoParent && elements[identity->parent].name == L"dependentAssembly") {
            controls.push_back(identity);
        }
    }
    ASSERT_EQ(controls.size(), 1u);
    const std::map<std::wstring, std::wstring> expected_controls{
        {L"type", L"win32"},          {L"name", L"Microsoft.Windows.Common-Controls"},
        {L"version", L"6.0.0.0"},     {L"processorArchitecture", L"*"},
        {L"publicKeyToken", L"6595b64144ccf1df"}, {L"language", L"*"}};
    EXPECT_EQ(controls[0]->attributes, expected_controls);

    // Narrow texts stay in the system's ANSI code page.
    for (const Element& element : elements) {
        EXPECT_NE(element.name, L"activeCodePage") << "the manifest sets a code page";
    }
}

TEST(ExecutableResourcesTest, SystemLoaderAcceptsTheManifest) {
    ACTCTXA context{};
    context.cbSize = sizeof(context);
    context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.lpSource = ProgramPath();
    context.lpResourceName = MAKEINTRESOURCEA(1);
    const HANDLE activation = CreateActCtxA(&context);
    ASSERT_NE(activation, INVALID_HANDLE_VALUE) << "the loader refuses the manifest, error " << GetLastError();

    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION run_level{};
    const BOOL queried = QueryActCtxW(0, activation, nullptr, RunlevelInformationInActivationContext, &run_level,
                                      sizeof(run_level), nullptr);
    ReleaseActCtx(activation);
    ASSERT_TRUE(queried) << "error " << GetLastError();
    EXPECT_EQ(run_level.RunLevel, ACTCTX_RUN_LEVEL_AS_INVOKER);
    EXPECT_FALSE(run_level.UiAccess);
}

TEST(ExecutableResourcesTest, ProgramStaysWithinItsSizeBudget) {
    // What users download is mostly the payload; the program around it, manifest and
    // version resource included, takes at most 200 KiB besides.
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    ASSERT_TRUE(GetFileAttributesExA(ProgramPath(), GetFileExInfoStandard, &attributes)) << "error " << GetLastError();
    const unsigned long long size =
        static_cast<unsigned long long>(attributes.nFileSizeHigh) << 32 | attributes.nFileSizeLow;
    EXPECT_LE(size, FWUPGRADE_PAYLOAD_BYTES + 200ull * 1024);
}

// UTF-8 build data as the version resource holds it, in UTF-16.
std::wstring Wide(const char* text) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, &wide[0], length);
    wide.resize(wide.size() - 1);
    return wide;
}

// The version number of a label: its one word of numbers and dots, after an optional "v".
std::string VersionWord(const std::string& label) {
    std::istringstream words(label);
    std::string word;
    while (words >> word) {
        const std::string number = word[0] == 'v' || word[0] == 'V' ? word.substr(1) : word;
        if (!number.empty() && number.find_first_not_of("0123456789.") == std::string::npos) {
            return number;
        }
    }
    return "";
}

TEST(ExecutableResourcesTest, VersionResourceHoldsTheBuildsData) {
    const std::wstring path = Wide(ProgramPath());
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
    ASSERT_GT(size, 0u) << "no version resource, error " << GetLastError();
    Bytes info(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));

    // Language neutral, texts in UTF-16.
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", &value, &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(static_cast<const WORD*>(value)[0], 0x0000);
    EXPECT_EQ(static_cast<const WORD*>(value)[1], 1200);

    const std::string version = VersionWord(FWUPGRADE_VERSION_LABEL);
    ASSERT_FALSE(version.empty()) << "the label " << FWUPGRADE_VERSION_LABEL << " holds no version";
    const std::wstring description = Wide(FWUPGRADE_MODEL_NAME) + L" firmware upgrade";
    const struct {
        const wchar_t* name;
        std::wstring expected;
    } strings[] = {
        {L"CompanyName", Wide(FWUPGRADE_COMPANY_NAME)},
        {L"FileDescription", description},
        {L"ProductName", description},
        {L"FileVersion", Wide(version.c_str())},
        {L"ProductVersion", Wide(version.c_str())},
        {L"OriginalFilename", L"fwupgrade.exe"},
    };
    for (const auto& row : strings) {
        SCOPED_TRACE(Narrow(row.name));
        const std::wstring query = std::wstring(L"\\StringFileInfo\\000004B0\\") + row.name;
        ASSERT_TRUE(VerQueryValueW(info.data(), query.c_str(), &value, &length)) << "absent";
        // The length counts the terminating zero where the resource compiler wrote one.
        std::wstring text(static_cast<const wchar_t*>(value), length);
        text.resize(std::wcslen(text.c_str()));
        EXPECT_EQ(text, row.expected);
    }

    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", &value, &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
    std::vector<unsigned long> fields;
    std::istringstream numbers(version);
    for (std::string field; std::getline(numbers, field, '.');) {
        fields.push_back(std::stoul(field));
    }
    fields.resize(4, 0);
    const DWORD most = static_cast<DWORD>(fields[0] << 16 | fields[1]);
    const DWORD least = static_cast<DWORD>(fields[2] << 16 | fields[3]);
    EXPECT_EQ(fixed->dwFileVersionMS, most);
    EXPECT_EQ(fixed->dwFileVersionLS, least);
    EXPECT_EQ(fixed->dwProductVersionMS, most);
    EXPECT_EQ(fixed->dwProductVersionLS, least);
}

}  // namespace
