// The names that a 64-bit ELF shared library defines in its dynamic symbol table, as
// `nm -D --defined-only` lists them.
#pragma once

#include <filesystem>
#include <optional>
#include <set>
#include <string>

namespace harbeat::test {

// Global and weak symbols that the file defines (not the ones it needs from elsewhere);
// nothing when the file cannot be read as a 64-bit ELF file of this machine's byte order.
std::optional<std::set<std::string>> definedDynamicSymbols(const std::filesystem::path &file);

}  // namespace harbeat::test
