#include "lob_database.h"

#include <algorithm>

#include "format/dictionary_format.h"
#include "lob_locators.h"

namespace datafile {

namespace {

using namespace dictionary;

constexpr std::uint32_t kLobsTable = 87500;
// The LOB segments' objects, a column each.
constexpr std::uint32_t kDocLob = 87501, kNdocLob = 87503, kPicLob = 87505, kLdocLob = 87507, kSdocLob = 87509,
                        kSfdocLob = 87511, kSfpicLob = 87513;

// ASCII text of `length` characters, lines of words, commas and quotes
// among them, `seed` telling one text from another.
std::string ascii_text(std::size_t length, unsigned seed)
{
    static const char* const kWords[] = {"LOB", "page", "chunk", "\"quoted\"", "a, b", "index", "segment", "row"};
    std::string text;
    unsigned n = seed;
    while (text.size() < length) {
        n = n * 1103515245u + 12345u;
        text += kWords[(n >> 16) % 8];
        text += (n >> 8) % 11 == 0 ? "\r\n" : " ";
    }
    text.resize(length);
    return text;
}

// UTF-16 big-endian, or little-endian.
Bytes utf16(std::string_view utf8, bool little = false)
{
    Bytes b = nchar_value(utf8);
    if (little)
        for (std::size_t i = 0; i + 1 < b.size(); i += 2) std::swap(b[i], b[i + 1]);
    return b;
}

// Bytes of runs of 0x00 and 0xFF and every byte value between them.
Bytes runs(std::size_t length, unsigned seed)
{
    Bytes b;
    while (b.size() < length) {
        b.insert(b.end(), 50 + seed % 7, 0x00);
        b.insert(b.end(), 70 + seed % 5, 0xFF);
        for (unsigned v = 0; v < 256; ++v) b.push_back(static_cast<std::uint8_t>(v ^ seed));
        ++seed;
    }
    b.resize(length);
    return b;
}

std::string as_text(const Bytes& b) { return std::string(b.begin(), b.end()); }

ColumnDef column(std::string name, std::uint16_t type, std::uint8_t form = 0)
{
    ColumnDef c;
    c.name = std::move(name);
    c.type = type;
    c.length = type == kTypeNumber ? 22 : 4000;
    c.charset_form = form;
    c.charset_id = form == 1 ? kCharsetAl32Utf8 : form == 2 ? kCharsetAl16Utf16 : 0;
    return c;
}

// The sample database's users, tablespaces and files, without its tables.
// A table of HR's whose first column is a NOT NULL ID number, then `columns`.
TableDef hr_table(std::string name, std::uint32_t object_id, std::vector<ColumnDef> columns)
{
    TableDef t;
    t.owner = "HR";
    t.name = std::move(name);
    t.object_id = object_id;
    ColumnDef id = column("ID", kTypeNumber);
    id.nullable = false;
    t.columns = {id};
    t.columns.insert(t.columns.end(), columns.begin(), columns.end());
    return t;
}

Database database_without_tables(std::uint32_t block_size, ByteOrder order)
{
    Database db = sample_database(block_size, order);
    db.clusters.clear();
    db.tables.clear();
    return db;
}

}  // namespace

LobCases lob_database(std::uint32_t block_size, ByteOrder order, std::uint32_t large_mib)
{
    LobCases cases;
    Database& db = cases.database;
    db = database_without_tables(block_size, order);
    const std::size_t page = lob_page_size(block_size);

    TableDef t = hr_table("LOBS", kLobsTable,
                          {column("DOC", kTypeClob, 1), column("NDOC", kTypeClob, 2), column("PIC", kTypeBlob),
                           column("LDOC", kTypeClob, 1), column("SDOC", kTypeClob, 1), column("SFDOC", kTypeClob, 1),
                           column("SFPIC", kTypeBlob)});
    t.data_object_id = kLobsTable;
    LobDef doc{"DOC", kDocLob, 1, 0, 0x02, {}};
    LobDef ndoc{"NDOC", kNdocLob, 2, 0, 0x02, {}};
    LobDef pic{"PIC", kPicLob, 1, 0, 0x02, {}};
    LobDef ldoc{"LDOC", kLdocLob, 1, 0, 0x02 | 0x0200, {}};
    LobDef sdoc{"SDOC", kSdocLob, 1, 0x2000, 0x02, {}};  // SecureFile, compressed low
    LobDef sfdoc{"SFDOC", kSfdocLob, 1, 0, 0x02, {}};
    LobDef sfpic{"SFPIC", kSfpicLob, 1, 0, 0x02, {}};
    sfdoc.secure_file = sfpic.secure_file = true;
    const std::size_t room = secure_block_size(block_size);
    std::uint32_t next_id = 1;
    auto value_id = [&] { return lob_id(next_id++); };
    // The SecureFiles' LobIds from 100 on, apart from the others'.
    std::uint32_t next_secure_id = 100;
    auto secure_id = [&] { return lob_id(next_secure_id++); };
    auto expect = [&](std::int64_t row_id, std::string col, std::string kind, std::string value) {
        cases.expected.push_back({row_id, std::move(col), std::move(kind), std::move(value)});
    };
    const auto n = [](int v) { return number_value(std::to_string(v)); };
    auto add_row = [&](int row_id) {
        t.rows.push_back({{n(row_id), std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                           std::nullopt, std::nullopt},
                          false});
        return t.rows.size() - 1;
    };
    std::vector<LogicalRow>& values = t.rows;

    // 1: a page each, an NCLOB and text in little-endian 2-byte Unicode in the row.
    {
        const std::size_t r = add_row(1);
        const std::string text = "Gr\xC3\xBC\xC3\x9F" "e, \"quoted\"\r\nline two \xE2\x9C\x93";
        doc.values.push_back({r, value_id(), utf16(text), {}, {}});
        expect(1, "DOC", "text", text);
        const std::string ntext = "Zo\xC3\xAB \xF0\x9F\x98\x80";
        values[r].values[2] = basic_inline_locator(value_id(), utf16(ntext));
        expect(1, "NDOC", "text", ntext);
        const Bytes bytes = runs(900, 1);
        pic.values.push_back({r, value_id(), bytes, {}, {}});
        expect(1, "PIC", "bytes", as_text(bytes));
        const std::string ltext = "little \xE2\x9C\x93 \xF0\x9F\x98\x80";
        values[r].values[4] = basic_inline_locator(value_id(), utf16(ltext, true));
        expect(1, "LDOC", "text", ltext);
        expect(1, "SDOC", "null", "");
        // SecureFile blocks: a character split between two, and extents
        // of both widths.
        const std::string stext = ascii_text((room - 2) / 2, 30) + "\xF0\x9F\x98\x80" + ascii_text(room + 99, 31);
        sfdoc.values.push_back({r, secure_id(), utf16(stext), {}, {}});
        expect(1, "SFDOC", "text", stext);
        const Bytes sbytes = runs(room * 7 + 3, 9);
        sfpic.values.push_back({r, secure_id(), sbytes, {}, {}});
        expect(1, "SFPIC", "bytes", as_text(sbytes));
    }
    // 2: many pages past the locator's list, which the LOB index names
    // (but for an entry it lacks), a character split between pages,
    // psql's end line, a page written twice.
    {
        const std::size_t r = add_row(2);
        const std::string head = ascii_text((page - 2) / 2, 2);
        const std::string text = head + "\xF0\x9F\x98\x80" + ascii_text(page * 8, 3) + "x\n\\.\nz" +
                                 ascii_text(page * 20 + 77, 4);
        // The LOB index lacks the entry of pages 20 to 27: the scan finds them.
        doc.values.push_back({r, value_id(), utf16(text), {}, {}, {20}});
        expect(2, "DOC", "text", text);
        expect(2, "NDOC", "null", "");
        const Bytes bytes = runs(page * 19 + 5, 2);
        pic.values.push_back({r, value_id(), bytes, {}, {14}});
        expect(2, "PIC", "bytes", as_text(bytes));
        const std::string ltext = ascii_text((page - 2) / 2, 5) + "\xF0\x9F\x98\x80" + ascii_text(40, 6);
        ldoc.values.push_back({r, value_id(), utf16(ltext, true), {}, {}});
        expect(2, "LDOC", "text", ltext);
        expect(2, "SDOC", "null", "");
        const std::string stext = "secure \xE2\x9C\x93";
        sfdoc.values.push_back({r, secure_id(), utf16(stext), {}, {}});
        expect(2, "SFDOC", "text", stext);
        expect(2, "SFPIC", "null", "");
    }
    // 3: a page zeroed, chunks of two blocks, every page lost.
    {
        const std::size_t r = add_row(3);
        std::string pages[5];
        for (unsigned k = 0; k < 5; ++k) pages[k] = ascii_text(page / 2, 10 + k);
        pages[4].resize(300);
        const std::string text = pages[0] + pages[1] + pages[2] + pages[3] + pages[4];
        doc.values.push_back({r, value_id(), utf16(text), {2}, {}});
        cases.expected.push_back({3, "DOC", "text", pages[0] + pages[1] + pages[3] + pages[4], true, 4, 5});
        const std::string ntext = ascii_text(page * 2 + page / 4, 20) + "\xE4\xB8\xAD\xE6\x96\x87";
        ndoc.values.push_back({r, value_id(), utf16(ntext), {}, {}});
        expect(3, "NDOC", "text", ntext);
        pic.values.push_back({r, value_id(), runs(page + 10, 3), {0, 1}, {}});
        cases.expected.push_back({3, "PIC", "undecoded", "", true, 0, 2});
        expect(3, "LDOC", "null", "");
        expect(3, "SDOC", "null", "");
        // A SecureFile block zeroed.
        std::string blocks[4];
        for (unsigned k = 0; k < 4; ++k) blocks[k] = ascii_text(room / 2, 40 + k);
        blocks[3].resize(77);
        sfdoc.values.push_back({r, secure_id(), utf16(blocks[0] + blocks[1] + blocks[2] + blocks[3]), {1}, {}});
        cases.expected.push_back({3, "SFDOC", "text", blocks[0] + blocks[2] + blocks[3], true, 3, 4});
        const Bytes sbytes = runs(room + 10, 4);
        sfpic.values.push_back({r, secure_id(), sbytes, {}, {}});
        expect(3, "SFPIC", "bytes", as_text(sbytes));
    }
    // 4: an empty LOB, and a compressed SecureFile.
    {
        const std::size_t r = add_row(4);
        values[r].values[1] = basic_inline_locator(value_id(), {});
        expect(4, "DOC", "null", "");
        expect(4, "NDOC", "null", "");
        expect(4, "PIC", "null", "");
        expect(4, "LDOC", "null", "");
        values[r].values[5] = secure_out_of_line_locator(value_id(), 5000, block_address(db.users_file, 3), 1);
        expect(4, "SDOC", "undecoded", "");
        // A SecureFile locator naming a block that holds no block of it.
        values[r].values[6] = secure_out_of_line_locator(secure_id(), 5000, block_address(db.users_file, 3), 1);
        expect(4, "SFDOC", "undecoded", "");
        expect(4, "SFPIC", "null", "");
    }
    if (large_mib > 0) {
        const std::size_t r = add_row(5);
        doc.values.push_back({r, value_id(), utf16(ascii_text(std::size_t{large_mib} << 19, 5)), {}, {}});
    }
    t.lobs = {doc, ndoc, pic, ldoc, sdoc, sfdoc, sfpic};
    db.tables.push_back(std::move(t));
    return cases;
}

LobCases partitioned_lob_database(std::uint32_t block_size, ByteOrder order, bool fragments_listed)
{
    constexpr std::uint32_t kTable = 87600, kDocLobObject = 87610;
    LobCases cases;
    Database& db = cases.database;
    db = database_without_tables(block_size, order);
    const std::size_t page = lob_page_size(block_size);
    TableDef t = hr_table("PLOBS", kTable, {column("DOC", kTypeClob, 1)});
    LobDef doc{"DOC", kDocLobObject, 1, 0, 0x02, {}};
    doc.fragments_listed = fragments_listed;
    std::uint32_t next_id = 1;
    int row_id = 1;
    for (std::size_t k = 0; k < 2; ++k) {
        const std::uint32_t partition = kTable + 1 + static_cast<std::uint32_t>(k);
        t.partitions.push_back({"P" + std::to_string(k + 1), partition, partition, {}});
        doc.fragment_objects.push_back(kDocLobObject + 2 + 2 * static_cast<std::uint32_t>(k));
        // Pages past the locator's list (12), a character split between two pages.
        for (const std::size_t pages : {std::size_t{13} + 7 * k, std::size_t{1}}) {
            const auto seed = static_cast<unsigned>(row_id);
            const std::string text = ascii_text((page - 2) / 2, 60 + seed) + "\xF0\x9F\x98\x80" +
                                     ascii_text((pages - 1) * page / 2 + 33, 70 + seed);
            PartitionDef& p = t.partitions.back();
            p.rows.push_back({{number_value(std::to_string(row_id)), std::nullopt}, false});
            LobValueDef value{p.rows.size() - 1, lob_id(next_id++), utf16(text), {}, {}};
            value.partition = k;
            doc.values.push_back(std::move(value));
            cases.expected.push_back({row_id, "DOC", "text", text});
            ++row_id;
        }
    }
    t.lobs = {doc};
    db.tables.push_back(std::move(t));
    return cases;
}

const std::string kHostileDocColumn = "D'O\"C,\n.shell touch MARKER";
const std::string kHostilePicColumn = "../P\\I'C\n\\! touch MARKER";

void give_hostile_names(LobCases& cases)
{
    TableDef& t = cases.database.tables.at(0);
    for (UserDef& user : cases.database.users)
        if (user.name == t.owner) user.name = "H'R\n\\! touch MARKER";
    t.owner = "H'R\n\\! touch MARKER";
    t.name = "L\"O'B,S/..\\\n.shell touch MARKER";
    auto rename = [&](const std::string& from, const std::string& to) {
        for (ColumnDef& c : t.columns)
            if (c.name == from) c.name = to;
        for (LobDef& lob : t.lobs)
            if (lob.column == from) lob.column = to;
    };
    rename("DOC", kHostileDocColumn);
    rename("PIC", kHostilePicColumn);
}

std::string expected_lobs_csv(const LobCases& cases)
{
    std::string csv;
    for (const LobExpected& e : cases.expected) {
        csv += std::to_string(e.id) + "," + e.column + "," + e.kind + ",";
        static const char kDigits[] = "0123456789ABCDEF";
        for (const char ch : e.value) {
            const auto c = static_cast<unsigned char>(ch);
            csv += kDigits[c >> 4];
            csv += kDigits[c & 15];
        }
        csv += ',';
        if (e.incomplete) csv.append(std::to_string(e.pages_found)).append(",").append(std::to_string(e.pages_expected));
        else csv += ',';
        csv += '\n';
    }
    return csv;
}

}  // namespace datafile
