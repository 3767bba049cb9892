// The simulated component's scenario parser with arbitrary text.  Checked: a refusal
// names a line of the text; a parse fills the scenario afresh, so parsing the same text
// into a scenario that already holds another gives the same result.
#include "tests/fuzz/FuzzCheck.h"

#include "simcamera/Scenario.h"

#include <algorithm>
#include <string>

namespace {

bool SameText(const sim::ReportedText& a, const sim::ReportedText& b) {
    return a.absent == b.absent && a.units == b.units;
}

bool SameCamera(const sim::CameraEntry& a, const sim::CameraEntry& b) {
    return SameText(a.model, b.model) && SameText(a.drive, b.drive) && a.enumerated == b.enumerated &&
           a.selected == b.selected && a.type == b.type;
}

bool SameRule(const sim::FaultRule& a, const sim::FaultRule& b) {
    return a.handsOutNull == b.handsOutNull && a.status == b.status && a.from == b.from &&
           a.unplugged == b.unplugged && a.errorInfo == b.errorInfo;
}

bool SameScenario(const sim::Scenario& a, const sim::Scenario& b) {
    return std::equal(a.cameras.begin(), a.cameras.end(), b.cameras.begin(), b.cameras.end(), SameCamera) &&
           std::equal(a.faults.begin(), a.faults.end(), b.faults.begin(), b.faults.end(),
                      [](const auto& x, const auto& y) { return x.first == y.first && SameRule(x.second, y.second); }) &&
           a.unpluggedMarker == b.unpluggedMarker && a.supportsErrorInfo == b.supportsErrorInfo &&
           a.pastEndUntouched == b.pastEndUntouched && a.atOffset == b.atOffset && a.countGiven == b.countGiven &&
           a.count == b.count;
}

// A scenario that sets everything away from its default.
const char kOther[] =
    "[component]\nunplugged_marker = /tmp/gone\nerror_info = no\npast_end = untouched\nat_offset = 2\ncount = 7\n"
    "[faults]\nGetCameraAt = 0x80004005 from 2 unplugged errorinfo\n"
    "[camera]\nmodel = \"A\\uD800\"\ndrive = null\nitem = nocamera\nselected = empty\nvt = unknown\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    sim::Scenario scenario;
    std::string error;
    const bool parsed = sim::ParseScenario(text, scenario, error);
    if (!parsed) {
        // "line <n>: <problem>", with n a line of the text.
        FUZZ_CHECK(error.compare(0, 5, "line ") == 0);
        const std::size_t colon = error.find(": ", 5);
        FUZZ_CHECK(colon != std::string::npos && colon > 5 && colon + 2 < error.size());
        const std::string digits = error.substr(5, colon - 5);
        FUZZ_CHECK(digits.find_first_not_of("0123456789") == std::string::npos && digits[0] != '0');
        const std::size_t line = std::stoul(digits);
        FUZZ_CHECK(line <= static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    }

    sim::Scenario reused;
    std::string otherError;
    FUZZ_CHECK(sim::ParseScenario(kOther, reused, otherError));
    std::string again;
    FUZZ_CHECK(sim::ParseScenario(text, reused, again) == parsed);
    FUZZ_CHECK(again == error);
    if (parsed) {
        FUZZ_CHECK(SameScenario(reused, scenario));
    }
    return 0;
}
