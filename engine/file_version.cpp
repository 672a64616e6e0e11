#include "engine/file_version.h"

#include <elf.h>

#include <cstring>
#include <fstream>
#include <vector>

namespace tess::engine {
namespace {

constexpr const char* kVersionSymbol = "TessModuleVersion";
constexpr uint64_t kMaxVersionBytes = 64;
constexpr uint64_t kMaxTableBytes = 64u << 20;  // a symbol or name table larger than this is damage

// Reads `size` bytes at `offset`; false when the file is shorter.
bool ReadAt(std::ifstream& in, uint64_t offset, uint64_t size, void* out) {
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    if (!in) return false;
    in.read(static_cast<char*>(out), static_cast<std::streamsize>(size));
    return static_cast<uint64_t>(in.gcount()) == size;
}

bool ReadBlock(std::ifstream& in, uint64_t offset, uint64_t size, std::vector<char>& out) {
    if (size > kMaxTableBytes) return false;
    out.resize(size);
    return ReadAt(in, offset, size, out.data());
}

FileVersion Damaged() {
    FileVersion v;
    v.state = VersionState::kUnreadable;
    v.fileVersion = kVersionNoData;
    v.productVersion = kVersionNoData;
    return v;
}

}  // namespace

FileVersion ReadFileVersion(const std::string& path) {
    FileVersion none;
    none.fileVersion = kVersionNotAvailable;
    none.productVersion = kVersionNotAvailable;

    std::ifstream in(path, std::ios::binary);
    if (!in) return none;
    Elf64_Ehdr eh{};
    if (!ReadAt(in, 0, sizeof eh, &eh) || std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 ||
        eh.e_ident[EI_CLASS] != ELFCLASS64 || eh.e_ident[EI_DATA] != ELFDATA2LSB)
        return none;  // not a library of this machine: nothing to read
    if (eh.e_shentsize != sizeof(Elf64_Shdr) || eh.e_shnum == 0) return none;

    std::vector<Elf64_Shdr> sections(eh.e_shnum);
    if (!ReadAt(in, eh.e_shoff, sizeof(Elf64_Shdr) * sections.size(), sections.data())) return Damaged();

    for (const Elf64_Shdr& sh : sections) {
        if (sh.sh_type != SHT_DYNSYM) continue;
        if (sh.sh_link >= sections.size() || sh.sh_entsize != sizeof(Elf64_Sym)) return Damaged();
        std::vector<char> symbols, names;
        const Elf64_Shdr& strtab = sections[sh.sh_link];
        if (!ReadBlock(in, sh.sh_offset, sh.sh_size, symbols) ||
            !ReadBlock(in, strtab.sh_offset, strtab.sh_size, names))
            return Damaged();
        for (size_t at = 0; at + sizeof(Elf64_Sym) <= symbols.size(); at += sizeof(Elf64_Sym)) {
            Elf64_Sym sym;
            std::memcpy(&sym, symbols.data() + at, sizeof sym);
            if (sym.st_name >= names.size()) continue;
            const char* name = names.data() + sym.st_name;
            if (strnlen(name, names.size() - sym.st_name) == names.size() - sym.st_name) continue;
            if (std::strcmp(name, kVersionSymbol) != 0 || sym.st_shndx == SHN_UNDEF) continue;

            // The text lies in the section the symbol names, at its address within it.
            if (sym.st_shndx >= sections.size()) return Damaged();
            const Elf64_Shdr& home = sections[sym.st_shndx];
            if (home.sh_type == SHT_NOBITS || sym.st_value < home.sh_addr || sym.st_size == 0 ||
                sym.st_size > kMaxVersionBytes || sym.st_value - home.sh_addr > home.sh_size ||
                sym.st_size > home.sh_size - (sym.st_value - home.sh_addr))
                return Damaged();
            std::vector<char> text;
            if (!ReadBlock(in, home.sh_offset + (sym.st_value - home.sh_addr), sym.st_size, text)) return Damaged();
            const size_t length = strnlen(text.data(), text.size());
            if (length == 0 || length == text.size()) return Damaged();  // empty or unterminated
            FileVersion v;
            v.state = VersionState::kRead;
            v.fileVersion.assign(text.data(), length);
            v.productVersion = v.fileVersion;
            return v;
        }
    }
    return none;
}

}  // namespace tess::engine
