#include "simcamera/Scenario.h"

#include "cameraserver/Utf8.h"

#include <cerrno>
#include <cstdlib>
#include <set>
#include <sstream>

namespace sim {

namespace {

const std::set<std::string>& FaultNames() {
    static const std::set<std::string> names = {
        "DllGetClassObject",   "CreateInstance",      "Run",          "QueryInterface.CameraManager", "QueryInterface.IEnumVARIANT",
        "GetCameraCollection", "GetCameraEnumerator", "GetCameraCount",        "GetCameraAt",
        "GetModelName",        "GetDrivePath",
    };
    return names;
}

// Operations that hand something out and so can hand out nothing instead.
bool CanHandOutNull(const std::string& operation) {
    return operation == "DllGetClassObject" || operation == "CreateInstance" ||
           operation == "GetCameraCollection" || operation == "GetCameraEnumerator" ||
           operation == "GetCameraAt" || operation == "GetModelName" || operation == "GetDrivePath";
}

// Operations whose failure a client fetches error information for.
bool CanCarryErrorInfo(const std::string& operation) {
    return operation.rfind("Get", 0) == 0;
}

std::string Trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A value as written: bare (taken literally, trimmed) or in double quotes with escapes.
// Bytes are UTF-8; \uXXXX puts one UTF-16 code unit in place, whatever its value.
class Value {
public:
    static bool Parse(const std::string& raw, Value& value, std::string& error) {
        value = Value();
        if (raw.empty() || raw.front() != '"') {
            value.isNull_ = raw == "null";
            value.bytes_ = raw;
            cameraserver::AppendUtf8(raw, value.units_);
            return true;
        }
        std::string pending;
        std::size_t i = 1;
        for (;;) {
            if (i >= raw.size()) {
                error = "missing closing quote";
                return false;
            }
            const char c = raw[i++];
            if (c == '"') {
                break;
            }
            if (c != '\\') {
                pending.push_back(c);
                continue;
            }
            if (i >= raw.size()) {
                error = "escape at the end of the value";
                return false;
            }
            const char e = raw[i++];
            switch (e) {
            case '\\': case '"': pending.push_back(e); break;
            case 'n': pending.push_back('\n'); break;
            case 't': pending.push_back('\t'); break;
            case 'r': pending.push_back('\r'); break;
            case '0': pending.push_back('\0'); break;
            case 'x':
            case 'u': {
                const std::size_t digits = e == 'x' ? 2 : 4;
                unsigned number = 0;
                for (std::size_t k = 0; k < digits; ++k) {
                    const int d = i + k < raw.size() ? HexDigit(raw[i + k]) : -1;
                    if (d < 0) {
                        error = std::string("\\") + e + " needs " + std::to_string(digits) + " hex digits";
                        return false;
                    }
                    number = number * 16 + static_cast<unsigned>(d);
                }
                i += digits;
                if (e == 'x') {
                    pending.push_back(static_cast<char>(number));
                } else {
                    value.bytes_ += pending;
                    cameraserver::AppendUtf8(pending, value.units_);
                    pending.clear();
                    value.units_.push_back(static_cast<OLECHAR>(number));
                    value.hasUnitEscape_ = true;
                }
                break;
            }
            default:
                error = std::string("unknown escape \\") + e;
                return false;
            }
        }
        if (!Trim(raw.substr(i)).empty()) {
            error = "text after the closing quote";
            return false;
        }
        value.bytes_ += pending;
        cameraserver::AppendUtf8(pending, value.units_);
        return true;
    }

    ReportedText Text() const { return ReportedText{isNull_, isNull_ ? Units() : units_}; }

    // The value as bytes, for file paths; \u escapes have no place there.
    bool Bytes(std::string& out, std::string& error) const {
        if (hasUnitEscape_) {
            error = "\\u is for reported texts only";
            return false;
        }
        out = bytes_;
        return true;
    }

    const std::string& Word() const { return bytes_; }

private:
    bool isNull_ = false;
    bool hasUnitEscape_ = false;
    std::string bytes_;
    Units units_;
};

bool ParseBool(const std::string& word, bool& out) {
    if (word == "yes" || word == "true" || word == "1") {
        out = true;
        return true;
    }
    if (word == "no" || word == "false" || word == "0") {
        out = false;
        return true;
    }
    return false;
}

// `untouched` only where the caller's VARIANT can be left alone on success (GetCameraAt).
bool ParseItemKind(const std::string& word, bool mayLeaveUntouched, ItemKind& out) {
    static const std::map<std::string, ItemKind> kinds = {
        {"camera", ItemKind::Camera}, {"nocamera", ItemKind::NoCamera}, {"empty", ItemKind::Empty},
        {"bstr", ItemKind::Text},     {"i4", ItemKind::Number},         {"byref", ItemKind::Reference},
        {"untouched", ItemKind::Untouched},
    };
    const auto found = kinds.find(word);
    if (found == kinds.end() || (found->second == ItemKind::Untouched && !mayLeaveUntouched)) {
        return false;
    }
    out = found->second;
    return true;
}

bool ParseNumber(const std::string& word, long long& out) {
    if (word.empty()) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    out = std::strtoll(word.c_str(), &end, 0);
    return errno == 0 && *end == '\0';
}

// "<status>|null [from <n>] [unplugged] [errorinfo]", commas counting as spaces.
bool ParseFault(const std::string& operation, std::string text, FaultRule& rule, std::string& error) {
    for (char& c : text) {
        if (c == ',') c = ' ';
    }
    std::istringstream words(text);
    std::string word;
    if (!(words >> word)) {
        error = "a fault needs a status or null";
        return false;
    }
    long long number = 0;
    if (word == "null") {
        if (!CanHandOutNull(operation)) {
            error = operation + " hands out nothing that could be null";
            return false;
        }
        rule.handsOutNull = true;
    } else if (ParseNumber(word, number) && number >= -2147483648LL && number <= 0xFFFFFFFFLL) {
        rule.status = static_cast<HRESULT>(static_cast<std::uint32_t>(number & 0xFFFFFFFFLL));
    } else {
        error = "bad status '" + word + "'";
        return false;
    }
    while (words >> word) {
        if (word == "from") {
            std::string n;
            if (!(words >> n) || !ParseNumber(n, number) || number < 1 || number > 1000000) {
                error = "from needs a call number of 1 or more";
                return false;
            }
            rule.from = static_cast<int>(number);
        } else if (word == "unplugged") {
            rule.unplugged = true;
        } else if (word == "errorinfo") {
            if (!CanCarryErrorInfo(operation)) {
                error = "errorinfo is for the camera operations only";
                return false;
            }
            rule.errorInfo = true;
        } else {
            error = "unknown fault option '" + word + "'";
            return false;
        }
    }
    return true;
}

class Parser {
public:
    explicit Parser(Scenario& scenario) : scenario_(scenario) {}

    bool Line(const std::string& rawLine, std::string& error) {
        const std::string line = Trim(rawLine);
        if (line.empty() || line[0] == '#' || line[0] == ';') {
            return true;
        }
        if (line.front() == '[') {
            return Section(line, error);
        }
        const auto equals = line.find('=');
        if (equals == std::string::npos) {
            error = "expected [section] or key = value";
            return false;
        }
        const std::string key = Trim(line.substr(0, equals));
        Value value;
        if (!Value::Parse(Trim(line.substr(equals + 1)), value, error)) {
            return false;
        }
        if (section_ == "component") {
            return Component(key, value, error);
        }
        if (section_ == "faults") {
            return Fault(key, value, error);
        }
        if (section_ == "camera") {
            return Camera(key, value, error);
        }
        error = "key outside a section";
        return false;
    }

    void Finish() { EndCamera(); }

private:
    bool Section(const std::string& line, std::string& error) {
        if (line.back() != ']') {
            error = "unclosed section name";
            return false;
        }
        EndCamera();
        section_ = Trim(line.substr(1, line.size() - 2));
        if (section_ == "camera") {
            scenario_.cameras.emplace_back();
            selectedGiven_ = false;
            return true;
        }
        if (section_ == "component" || section_ == "faults") {
            return true;
        }
        error = "unknown section [" + section_ + "]";
        return false;
    }

    void EndCamera() {
        if (section_ == "camera" && !selectedGiven_) {
            scenario_.cameras.back().selected = scenario_.cameras.back().enumerated;
        }
    }

    bool Component(const std::string& key, const Value& value, std::string& error) {
        if (key == "unplugged_marker") {
            return value.Bytes(scenario_.unpluggedMarker, error);
        }
        if (key == "error_info") {
            if (ParseBool(value.Word(), scenario_.supportsErrorInfo)) return true;
            error = "error_info is yes or no";
            return false;
        }
        if (key == "past_end") {
            if (value.Word() == "empty" || value.Word() == "untouched") {
                scenario_.pastEndUntouched = value.Word() == "untouched";
                return true;
            }
            error = "past_end is empty or untouched";
            return false;
        }
        if (key == "at_offset") {
            long long number = 0;
            if (!ParseNumber(value.Word(), number) || number < -1000 || number > 1000) {
                error = "at_offset is a small signed number";
                return false;
            }
            scenario_.atOffset = static_cast<LONG>(number);
            return true;
        }
        if (key == "count") {
            long long number = 0;
            if (!ParseNumber(value.Word(), number) || number < -2147483648LL || number > 2147483647LL) {
                error = "count is a signed 32-bit number";
                return false;
            }
            scenario_.countGiven = true;
            scenario_.count = static_cast<LONG>(number);
            return true;
        }
        error = "unknown key '" + key + "' in [component]";
        return false;
    }

    bool Fault(const std::string& key, const Value& value, std::string& error) {
        if (FaultNames().count(key) == 0) {
            error = "no operation '" + key + "' to fail";
            return false;
        }
        FaultRule rule;
        if (!ParseFault(key, value.Word(), rule, error)) {
            return false;
        }
        scenario_.faults[key] = rule;
        return true;
    }

    bool Camera(const std::string& key, const Value& value, std::string& error) {
        CameraEntry& camera = scenario_.cameras.back();
        if (key == "model") {
            camera.model = value.Text();
        } else if (key == "drive") {
            camera.drive = value.Text();
        } else if (key == "item") {
            if (!ParseItemKind(value.Word(), false, camera.enumerated)) {
                error = "item is camera, nocamera, empty, bstr, i4 or byref";
                return false;
            }
        } else if (key == "selected") {
            if (!ParseItemKind(value.Word(), true, camera.selected)) {
                error = "selected is camera, nocamera, empty, bstr, i4, byref or untouched";
                return false;
            }
            selectedGiven_ = true;
        } else if (key == "vt") {
            if (value.Word() == "dispatch") {
                camera.type = VT_DISPATCH;
            } else if (value.Word() == "unknown") {
                camera.type = VT_UNKNOWN;
            } else {
                error = "vt is dispatch or unknown";
                return false;
            }
        } else {
            error = "unknown key '" + key + "' in [camera]";
            return false;
        }
        return true;
    }

    Scenario& scenario_;
    std::string section_;
    bool selectedGiven_ = false;
};

}  // namespace

bool ParseScenario(const std::string& text, Scenario& scenario, std::string& error) {
    scenario = Scenario();
    Parser parser(scenario);
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        std::string problem;
        if (!parser.Line(line, problem)) {
            error = "line " + std::to_string(number) + ": " + problem;
            return false;
        }
    }
    parser.Finish();
    return true;
}

}  // namespace sim
