// Names each row of a parameterized test after the row's `name` field, so that a failure
// says which case failed.
#pragma once

#include <gtest/gtest.h>

#include <string>

template <typename Row>
std::string RowName(const testing::TestParamInfo<Row>& row) {
    return row.param.name;
}
