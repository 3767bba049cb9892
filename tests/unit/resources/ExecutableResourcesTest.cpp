// The built utility carries exactly the resources the resource compiler made of its script:
// the same set of (type, name, language), nothing more, each byte for byte.  Reads the
// program file itself, loaded as data, through the system's resource enumeration.
#include "CatalogueLanguages.h"
#include "ResFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iterator>
#include <map>
#include <string>
#include <tuple>
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

TEST(ExecutableResourcesTest, UtilityCarriesExactlyTheCompiledResources) {
    const char* exe = std::getenv("FWUPGRADE_EXE");
    ASSERT_NE(exe, nullptr) << "FWUPGRADE_EXE comes from the test's CTest entry";
    HMODULE module = LoadLibraryExA(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr) << "cannot load " << exe << " as data, error " << GetLastError();

    Enumeration e{module, {}, {}};
    EnumResourceTypesA(module, OnType, reinterpret_cast<LONG_PTR>(&e));
    FreeLibrary(module);
    EXPECT_TRUE(e.problems.empty()) << e.problems.front();

    std::string error;
    const std::vector<CompiledResource> compiled = ReadResFile(FWUPGRADE_RES_FILE, error);
    ASSERT_TRUE(error.empty()) << error;
    std::map<Key, Bytes> expected;
    for (const CompiledResource& r : compiled) {
        expected[Key{r.type, r.name, r.language}] = r.data;
    }

    // A string table per catalogue language, RCDATA 118, 120, 121 and 128, the icon group
    // and its three images.
    ASSERT_EQ(expected.size(), std::size(kCatalogueLanguages) + 8u);
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

}  // namespace
