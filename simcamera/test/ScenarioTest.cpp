// The scenario file as the component reads it: how values become reported texts, how
// fault lines become rules, and that a refusal names the line and the reason.
#include "simcamera/Scenario.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "support/RowName.h"

namespace {

using sim::Units;

struct TextRow {
    const char* name;
    std::string value;  // as written after "model = "
    bool absent;
    Units units;
};

void PrintTo(const TextRow& row, std::ostream* out) { *out << row.name; }

class ScenarioText : public testing::TestWithParam<TextRow> {};

TEST_P(ScenarioText, ModelValueIsReportedAsWritten) {
    const TextRow& row = GetParam();
    sim::Scenario scenario;
    std::string error;
    ASSERT_TRUE(sim::ParseScenario("[camera]\nmodel = " + row.value + "\n", scenario, error)) << error;
    ASSERT_EQ(scenario.cameras.size(), 1u);
    EXPECT_EQ(scenario.cameras[0].model.absent, row.absent);
    EXPECT_EQ(scenario.cameras[0].model.units, row.units);
    EXPECT_FALSE(scenario.cameras[0].drive.absent) << "a camera without a drive reports an empty one";
    EXPECT_TRUE(scenario.cameras[0].drive.units.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Values, ScenarioText,
    testing::Values(
        TextRow{"bareIsLiteralAndTrimmed", "E:\\  ", false, Units(OLESTR("E:\\"))},
        TextRow{"quotedKeepsSpaces", "\" two  spaces \"", false, Units(OLESTR(" two  spaces "))},
        TextRow{"bareNullIsAbsent", "null", true, Units()},
        TextRow{"quotedNullIsText", "\"null\"", false, Units(OLESTR("null"))},
        TextRow{"utf8Bytes", "K\xC3\xBC" "che", false, Units(OLESTR("K\u00FCche"))},
        // A byte escape, a code unit, a surrogate pair, a byte that is no UTF-8.
        TextRow{"escapes", "\"K\\xC3\\xBCche \\u00E9\\uD83D\\uDCF7 \\xFF end\"", false,
                Units(OLESTR("K\u00FCche \u00E9")) + Units{0xD83D, 0xDCF7} + Units(OLESTR(" \uFFFD end"))},
        TextRow{"loneSurrogate", "\"\\uD800\"", false, Units{0xD800}},
        TextRow{"embeddedZero", "\"A\\0B\"", false, Units(OLESTR("A\0B"), 3)},
        TextRow{"quotesAndBackslashes", "\"\\\"H:\\\\cards\\\\\\\"\"", false, Units(OLESTR("\"H:\\cards\\\""))}),
    RowName<TextRow>);

TEST(ScenarioFaults, LinesBecomeRules) {
    sim::Scenario scenario;
    std::string error;
    ASSERT_TRUE(sim::ParseScenario("[faults]\n"
                                   "GetModelName = 0x8007048F from 3, unplugged errorinfo\n"
                                   "GetCameraAt = null\n"
                                   "GetCameraCount = 1\n"
                                   "Run = -2147467259\n",
                                   scenario, error))
        << error;
    const sim::FaultRule& name = scenario.faults.at("GetModelName");
    EXPECT_EQ(name.status, static_cast<HRESULT>(0x8007048Fu));
    EXPECT_EQ(name.from, 3);
    EXPECT_TRUE(name.unplugged);
    EXPECT_TRUE(name.errorInfo);
    EXPECT_FALSE(name.handsOutNull);

    EXPECT_TRUE(scenario.faults.at("GetCameraAt").handsOutNull);
    EXPECT_EQ(scenario.faults.at("GetCameraCount").status, S_FALSE);
    EXPECT_EQ(scenario.faults.at("Run").status, E_FAIL);
    EXPECT_EQ(scenario.faults.at("Run").from, 1);
}

struct RefusalRow {
    const char* name;
    const char* text;
    const char* error;
};

void PrintTo(const RefusalRow& row, std::ostream* out) { *out << row.name; }

class ScenarioRefusal : public testing::TestWithParam<RefusalRow> {};

TEST_P(ScenarioRefusal, NamesTheLineAndTheReason) {
    sim::Scenario scenario;
    std::string error;
    EXPECT_FALSE(sim::ParseScenario(GetParam().text, scenario, error));
    EXPECT_EQ(error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ScenarioRefusal,
    testing::Values(
        RefusalRow{"unterminatedQuote", "[camera]\nmodel = \"unterminated\n", "line 2: missing closing quote"},
        RefusalRow{"textAfterQuote", "[camera]\nmodel = \"a\" b\n", "line 2: text after the closing quote"},
        RefusalRow{"shortEscape", "[camera]\n\n; a comment\nmodel = \"\\u12\"\n",
                   "line 4: \\u needs 4 hex digits"},
        RefusalRow{"unitEscapeInAPath", "[component]\nunplugged_marker = \"\\u0041\"\n",
                   "line 2: \\u is for reported texts only"},
        RefusalRow{"keyOutsideASection", "model = X\n", "line 1: key outside a section"},
        RefusalRow{"unknownSection", "[cameras]\n", "line 1: unknown section [cameras]"},
        RefusalRow{"unknownOperation", "[faults]\nGetFirmware = 0x80004005\n",
                   "line 2: no operation 'GetFirmware' to fail"},
        RefusalRow{"nullWhereNothingIsHandedOut", "[faults]\nGetCameraCount = null\n",
                   "line 2: GetCameraCount hands out nothing that could be null"},
        RefusalRow{"errorInfoOutsideTheCameraOperations", "[faults]\nRun = 0x80004005 errorinfo\n",
                   "line 2: errorinfo is for the camera operations only"},
        RefusalRow{"fromZero", "[faults]\nGetModelName = 0x80004005 from 0\n",
                   "line 2: from needs a call number of 1 or more"},
        RefusalRow{"unknownItem", "[camera]\nitem = phone\n",
                   "line 2: item is camera, nocamera, empty, bstr, i4 or byref"}),
    RowName<RefusalRow>);

}  // namespace
