// The byte order of a group's distinct base names.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace corvane {

// The positions of the names in the order of their bytes compared as unsigned values, a name
// that is the prefix of another first. Equal names keep no defined order.
std::vector<std::size_t> namesInByteOrder(const std::vector<std::string_view> &names);

}  // namespace corvane
