#include "elf_dynamic_symbols.h"

#include <elf.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace harbeat::test {
namespace {

template <typename T>
bool readAt(const std::vector<char> &file, std::size_t offset, T &out) {
    if (offset > file.size() || file.size() - offset < sizeof(T)) return false;
    std::memcpy(&out, file.data() + offset, sizeof(T));
    return true;
}

}  // namespace

std::optional<std::set<std::string>> definedDynamicSymbols(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Elf64_Ehdr header;
    if (!readAt(file, 0, header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_shentsize != sizeof(Elf64_Shdr))
        return std::nullopt;

    std::vector<Elf64_Shdr> sections(header.e_shnum);
    for (std::size_t i = 0; i < sections.size(); ++i)
        if (!readAt(file, header.e_shoff + i * sizeof(Elf64_Shdr), sections[i])) return std::nullopt;

    std::set<std::string> names;
    for (const Elf64_Shdr &table : sections) {
        if (table.sh_type != SHT_DYNSYM || table.sh_link >= sections.size()) continue;
        const Elf64_Shdr &strings = sections[table.sh_link];
        const std::size_t count = table.sh_entsize ? table.sh_size / table.sh_entsize : 0;
        for (std::size_t i = 1; i < count; ++i) {
            Elf64_Sym symbol;
            if (!readAt(file, table.sh_offset + i * table.sh_entsize, symbol)) return std::nullopt;
            const unsigned binding = ELF64_ST_BIND(symbol.st_info);
            if (symbol.st_shndx == SHN_UNDEF || (binding != STB_GLOBAL && binding != STB_WEAK)) continue;
            if (symbol.st_name >= strings.sh_size || strings.sh_offset + symbol.st_name >= file.size())
                return std::nullopt;
            const char *name = file.data() + strings.sh_offset + symbol.st_name;
            names.insert(std::string(name, strnlen(name, file.size() - (strings.sh_offset + symbol.st_name))));
        }
    }
    return names;
}

}  // namespace harbeat::test
