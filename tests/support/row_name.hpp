#pragma once
// Every row of a parameterised table carries a `name`. That name ends the test's name
// (INSTANTIATE_TEST_SUITE_P(…, test::RowName{})) and is what GoogleTest prints for the row: in
// the test list CTest discovers and beside a failure. Without them GoogleTest prints the row's
// bytes, heap addresses included, so a test would change name from one run to the next.
//
// GoogleTest finds PrintTo through the row type's namespace: a test file brings it there with
// `using test::PrintTo;` beside its rows. GoogleTest itself refuses, when the suite is registered,
// a name that is not letters, digits and underscores, or that a suite gives twice.

#include <gtest/gtest.h>

#include <concepts>
#include <ostream>
#include <string>
#include <string_view>

namespace vantrel::test {

template <typename Row>
concept NamedRow = requires(const Row& row) {
    { row.name } -> std::convertible_to<std::string_view>;
};

template <NamedRow Row>
void PrintTo(const Row& row, std::ostream* out) {
    *out << std::string_view(row.name);
}

struct RowName {
    template <NamedRow Row>
    std::string operator()(const testing::TestParamInfo<Row>& info) const {
        return std::string(std::string_view(info.param.name));
    }
};

}  // namespace vantrel::test
