// The program's start-up step that the tests share: narrow text follows the locale that
// the environment names, as in the utility itself.
#include <gtest/gtest.h>

#include <clocale>

namespace {

class LocaleEnvironment : public ::testing::Environment {
public:
    void SetUp() override { std::setlocale(LC_ALL, ""); }
};

const auto* const kLocale = ::testing::AddGlobalTestEnvironment(new LocaleEnvironment);

}  // namespace
