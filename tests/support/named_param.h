#pragma once
// A test parameter with the name it shows in the test's name:
//   INSTANTIATE_TEST_SUITE_P(Suite, Test, Values(Named<T>{"Case", value}), byName);
#include <ostream>
#include <string>

namespace testsupport {

template <typename Value>
struct Named {
    const char* name;
    Value value;
};

template <typename Value>
void PrintTo(const Named<Value>& named, std::ostream* out) { *out << named.name; }

inline constexpr auto byName = [](const auto& info) { return std::string(info.param.name); };

}  // namespace testsupport
