// Documents, data and programs: PDF (plain and with an incremental update), OLE2 compound
// files, SQLite, PE and ELF.
#include <string>

#include "tests/calloway/samples.h"

namespace samples {

namespace {

std::string pdf_body() {
    std::string pdf = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    std::vector<size_t> offsets;
    auto object = [&](const std::string& text) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(offsets.size()) + " 0 obj\n" + text + "\nendobj\n";
    };
    object("<< /Type /Catalog /Pages 2 0 R >>");
    object("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>");
    size_t xref = pdf.size();
    pdf += "xref\n0 4\n0000000000 65535 f \n";
    for (size_t offset : offsets) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
        pdf += line;
    }
    pdf += "trailer\n<< /Size 4 /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

bytes pdf_file(bool updated) {
    std::string pdf = pdf_body();
    if (updated) {  // an incremental update appends objects, a section and another %%EOF
        size_t object = pdf.size();
        pdf += "4 0 obj\n<< /Producer (tests) >>\nendobj\n";
        size_t xref = pdf.size();
        pdf += "xref\n4 1\n" + std::string(10 - std::to_string(object).size(), '0') + std::to_string(object) +
               " 00000 n \ntrailer\n<< /Size 5 /Root 1 0 R /Info 4 0 R >>\nstartxref\n" + std::to_string(xref) +
               "\n%%EOF\r\n";
    }
    return bytes(pdf.begin(), pdf.end());
}

// A version 3 compound file: header, one allocation table sector, one directory sector and a
// stream of stream_size bytes in regular sectors. Unused table entries are free.
bytes compound_file(const std::string& stream_name, size_t stream_size, bool msi_class) {
    constexpr uint32_t sector = 512, free_sector = 0xFFFFFFFF, end_of_chain = 0xFFFFFFFE, table_sector = 0xFFFFFFFD;
    uint32_t stream_sectors = static_cast<uint32_t>((stream_size + sector - 1) / sector);
    byte_writer out;
    out.text(std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)).fill(16).le16(0x3E).le16(3).le16(0xFFFE);
    out.le16(9).le16(6).fill(6).le32(0).le32(1).le32(1).le32(0).le32(4096);  // one table sector, directory at 1
    out.le32(end_of_chain).le32(0).le32(end_of_chain).le32(0);             // no mini table, no DIFAT sectors
    out.le32(0);                                                            // the table is sector 0
    for (int i = 1; i < 109; ++i) out.le32(free_sector);
    // Sector 0: the allocation table.
    out.le32(table_sector).le32(end_of_chain);
    for (uint32_t i = 0; i < stream_sectors; ++i) out.le32(i + 1 == stream_sectors ? end_of_chain : 3 + i);
    out.pad_to(512 + sector, 0xFF);
    // Sector 1: the directory: root, then the stream.
    auto entry = [&](const std::string& name, uint8_t type, uint32_t child, uint32_t start, uint64_t size,
                     bool with_class) {
        size_t at = out.size();
        for (char c : name) out.le16(static_cast<uint8_t>(c));
        out.le16(0).pad_to(at + 64);
        out.le16(2 * (name.size() + 1)).u8(type).u8(1).le32(free_sector).le32(free_sector).le32(child);
        if (with_class)
            out.raw({0x84, 0x10, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46});
        else
            out.fill(16);
        out.fill(4 + 16).le32(start).le64(size);
    };
    entry("Root Entry", 5, 1, end_of_chain, 0, msi_class);
    entry(stream_name, 2, free_sector, 2, stream_size, false);
    out.pad_to(512 + 2 * sector);
    out.raw(noise(stream_sectors * sector, 41));
    return out.data;
}

bytes sqlite_database() {
    constexpr uint32_t page_size = 1024, pages = 3;
    byte_writer out;
    out.text(std::string("SQLite format 3\0", 16)).be16(page_size).u8(1).u8(1).u8(0).u8(64).u8(32).u8(32);
    out.be32(5).be32(pages).be32(0).be32(0).be32(1).be32(4).be32(0).be32(0).be32(1).be32(0).be32(0);
    out.be32(0).fill(20).be32(5).be32(3041000);  // application id, reserved, version valid for, library version
    out.u8(0x0D).pad_to(page_size);  // an empty table leaf
    out.raw(noise((pages - 1) * page_size, 51));
    return out.data;
}

// A PE32 image: two sections and a certificate table after them.
bytes pe_image(bool dll) {
    byte_writer out;
    out.text("MZ").pad_to(0x3C).le32(0x80).pad_to(0x80);
    out.text(std::string("PE\0\0", 4)).le16(0x14C).le16(2).le32(0).le32(0).le32(0).le16(224);
    out.le16(dll ? 0x2102 : 0x0102);
    size_t optional = out.size();
    out.le16(0x10B).pad_to(optional + 32).le32(0x1000).le32(0x200);  // section and file alignment
    out.pad_to(optional + 56).le32(0x3000).le32(0x400);             // size of image, of headers
    out.pad_to(optional + 92).le32(16);
    out.pad_to(optional + 96 + 4 * 8).le32(0x800).le32(0x108);  // certificate table, by file offset
    out.pad_to(optional + 224);
    out.text(".text").pad_to(out.size() + 3).le32(0x200).le32(0x1000).le32(0x200).le32(0x400).fill(16);
    out.text(".data").pad_to(out.size() + 3).le32(0x200).le32(0x2000).le32(0x200).le32(0x600).fill(16);
    out.pad_to(0x400).raw(noise(0x400, 61)).raw(noise(0x108, 62));
    return out.data;
}

// An ELF file: header, one program header, code, a string table and the section headers last.
bytes elf_image(bool wide, bool big_endian) {
    byte_writer out;
    auto half = [&](uint64_t v) { big_endian ? out.be16(v) : out.le16(v); };
    auto word = [&](uint64_t v) { big_endian ? out.be32(v) : out.le32(v); };
    auto address = [&](uint64_t v) {
        if (!wide)
            word(v);
        else
            big_endian ? out.be64(v) : out.le64(v);
    };
    size_t header = wide ? 64 : 52, program = wide ? 56 : 32, section = wide ? 64 : 40;
    size_t code_at = header + program, code_size = 300;
    std::string names("\0.text\0.shstrtab\0.bss\0", 22);
    size_t names_at = code_at + code_size, sections_at = names_at + names.size();
    out.text("\x7F" "ELF").u8(wide ? 2 : 1).u8(big_endian ? 2 : 1).u8(1).fill(9);
    half(2), half(wide ? 62 : 8), word(1), address(0x400000 + code_at), address(header), address(sections_at);
    word(0), half(header), half(program), half(1), half(section), half(4), half(2);
    word(1);  // the program header: one loadable segment
    if (wide) word(5);
    address(code_at);
    address(0x400000 + code_at), address(0x400000 + code_at);
    if (!wide) word(code_size), word(code_size), word(5), word(0x1000);
    if (wide) address(code_size), address(code_size), address(0x1000);
    out.raw(noise(code_size, 71)).text(names);
    auto section_header = [&](uint32_t name, uint32_t type, uint64_t offset, uint64_t size) {
        word(name), word(type), address(0), address(0), address(offset), address(size);
        word(0), word(0), address(1), address(0);
    };
    section_header(0, 0, 0, 0);
    section_header(1, 1, code_at, code_size);
    section_header(7, 3, names_at, names.size());
    section_header(17, 8, 0x100000, 0x100000);  // .bss takes no file space
    return out.data;
}

}  // namespace

void add_documents(std::vector<sample_s>& out) {
    out.push_back({"pdf", "pdf", pdf_file(false)});
    out.push_back({"pdf_updated", "pdf", pdf_file(true)});
    out.push_back({"doc", "doc", compound_file("WordDocument", 5000, false)});
    out.push_back({"xls", "xls", compound_file("Workbook", 4700, false)});
    out.push_back({"ppt", "ppt", compound_file("PowerPoint Document", 6000, false)});
    out.push_back({"msi", "msi", compound_file("\x48\x3F\x45\x41", 4600, true)});
    out.push_back({"sqlite", "sqlite", sqlite_database()});
    out.push_back({"exe", "exe", pe_image(false)});
    out.push_back({"dll", "dll", pe_image(true)});
    out.push_back({"elf64", "elf", elf_image(true, false)});
    out.push_back({"elf32_big_endian", "elf", elf_image(false, true)});
}

}  // namespace samples
