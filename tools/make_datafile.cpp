// Writes synthetic data files: the sample shipped with the project, a
// large file of full data blocks for the benchmark, or a small database of
// a SYSTEM and a USERS data file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "datafile_builder.h"
#include "lob_database.h"
#include "row_layout.h"
#include "schema/ddl_writer.h"
#include "schema_truth.h"
#include "release_shapes.h"
#include "system_file.h"

namespace {

// The database id of the pluggable database `containers` writes beside the root.
constexpr std::uint32_t kPluggableDatabaseId = 0x5EED0C0C;

int usage()
{
    std::fprintf(stderr,
                 "usage: make_datafile sample|types DATAFILE [TEMPLATE]\n"
                 "  writes the sample data file, or one of rows of the other column types\n"
                 "  (and the column template that matches it)\n"
                 "       make_datafile bench|varied|damaged|timestamps|objects DATAFILE SIZE_MIB [TEMPLATE]\n"
                 "  writes SIZE_MIB MiB of 8192-byte blocks full of rows (and their template):\n"
                 "  bench rows of mostly whole numbers, varied rows of negative and fractional\n"
                 "  numbers and text of every length, damaged the bench rows with a few bytes\n"
                 "  of every block overwritten, timestamps rows of timestamps, timestamps with\n"
                 "  time zones and binary doubles, objects rows of 25 columns of distinct\n"
                 "  values in which each block is a data object of its own\n"
                 "       make_datafile chained DATAFILE SIZE_MIB [TEMPLATE]\n"
                 "  writes SIZE_MIB MiB of the bench rows in which about one row in a hundred\n"
                 "  is chained over two blocks or migrated to the next one\n"
                 "       make_datafile database DIRECTORY\n"
                 "  writes DIRECTORY/system01.dbf, a SYSTEM data file with the data dictionary,\n"
                 "  and DIRECTORY/users01.dbf, the rows of the tables it describes, and\n"
                 "  DIRECTORY/schema.sql, their schema file (what --schema reads); with\n"
                 "  --system-blocks N the SYSTEM file's header counts N blocks and the file is\n"
                 "  that long, the blocks past those written never used; with --release R the\n"
                 "  dictionary is laid out as release R lays it out (10g, 11.2, 12.1, 19c, or\n"
                 "  19c-upgraded: upgraded from 11.2), and with --bigfile-system its SYSTEM\n"
                 "  tablespace is a bigfile one (a sparse SYSTEM file; upgraded, of 2^22 blocks\n"
                 "  and more)\n"
                 "       make_datafile history DIRECTORY\n"
                 "  writes the same for the database with dictionary rows DDL marked deleted:\n"
                 "  tables dropped (one with its owner, one created again), a partition\n"
                 "  dropped, a table renamed and a column dropped\n"
                 "       make_datafile containers DIRECTORY\n"
                 "  writes two databases of the same names but for their database ids, as\n"
                 "  the containers of a multitenant database are: DIRECTORY/root, the sample\n"
                 "  database, and DIRECTORY/pdb1, the history database's, each with its\n"
                 "  schema file\n"
                 "       make_datafile hostile DIRECTORY\n"
                 "  writes the same for a database whose names an attacker chose, and\n"
                 "  DIRECTORY/loaded-tables.txt: the ID and row count of each table a loader\n"
                 "  makes of it, a line each\n"
                 "       make_datafile exact DIRECTORY\n"
                 "  writes the same for a database of numbers of 38 digits, dates before 1582\n"
                 "  and before year 1, timestamps with nanoseconds and time zone regions,\n"
                 "  intervals beyond PostgreSQL's, and values no type decodes, and\n"
                 "  DIRECTORY/expected-values.csv: what each value is to become in the CSV\n"
                 "  files and the loaded tables\n"
                 "       make_datafile lobs DIRECTORY\n"
                 "  writes the same for a database of CLOB, NCLOB and BLOB values in their rows\n"
                 "  and in their LOB segments (one with a page zeroed, one with every page\n"
                 "  lost), and DIRECTORY/expected-lobs.csv: what each value is to become;\n"
                 "  with --lob-mib N a fifth row holds a CLOB of N MiB; with --hostile-names\n"
                 "  its owner, table and two columns have names an attacker chose\n"
                 "  options, after the others: --block-size N (512 to 32768, default 8192),\n"
                 "  --byte-order big|little (default little)\n");
    return 2;
}

void write_text(const std::string& path, const std::string& text)
{
    datafile::write_file(path, datafile::Bytes(text.begin(), text.end()));
}

}  // namespace

int main(int argc, char** argv)
{
    // The words, and the options after them.
    std::vector<std::string> words;
    std::uint32_t block_size = 8192;
    ByteOrder order = ByteOrder::Little;
    std::uint32_t system_blocks = 0;
    std::optional<datafile::DictionaryShape> shape;
    bool bigfile_system = false;
    std::uint32_t lob_mib = 0;
    bool hostile_names = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--block-size" && i + 1 < argc) {
            block_size = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
            if (block_size < 512 || block_size > 32768 || (block_size & (block_size - 1)) != 0) return usage();
        } else if (arg == "--system-blocks" && i + 1 < argc) {
            char* end = nullptr;
            const unsigned long long blocks = std::strtoull(argv[++i], &end, 10);
            if (end == argv[i] || *end != '\0' || blocks > (1u << 22)) return usage();
            system_blocks = static_cast<std::uint32_t>(blocks);
        } else if (arg == "--release" && i + 1 < argc) {
            const std::string name = argv[++i];
            for (const datafile::DictionaryShape known : datafile::all_shapes())
                if (datafile::shape_name(known) == name) shape = known;
            if (!shape) return usage();
        } else if (arg == "--hostile-names") {
            hostile_names = true;
        } else if (arg == "--lob-mib" && i + 1 < argc) {
            lob_mib = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
            if (lob_mib > 1024) return usage();
        } else if (arg == "--bigfile-system") {
            bigfile_system = true;
        } else if (arg == "--byte-order" && i + 1 < argc) {
            const std::string value = argv[++i];
            if (value != "big" && value != "little") return usage();
            order = value == "big" ? ByteOrder::Big : ByteOrder::Little;
        } else {
            words.push_back(arg);
        }
    }
    if (words.size() < 2) return usage();
    const std::string& what = words[0];
    try {
        if ((what == "database" || what == "history") && words.size() == 2) {
            std::filesystem::create_directories(words[1]);
            datafile::Database database =
                what == "history"           ? datafile::history_database(block_size, order)
                : shape || bigfile_system ? datafile::release_database(
                                                shape.value_or(datafile::DictionaryShape::Release11_2), block_size,
                                                order, bigfile_system)
                                          : datafile::sample_database(block_size, order);
            database.system_layout.file_blocks = system_blocks;
            const datafile::BuiltDatabase built = datafile::build_database(database);
            datafile::write_database(built, words[1]);
            write_text(words[1] + "/schema.sql", schema::write_schema_file(datafile::schema_of(database, &built)));
            return 0;
        }
        if (what == "containers" && words.size() == 2) {
            for (const bool pluggable : {false, true}) {
                const std::string directory = words[1] + (pluggable ? "/pdb1" : "/root");
                std::filesystem::create_directories(directory);
                datafile::Database database = pluggable ? datafile::history_database(block_size, order)
                                                        : datafile::sample_database(block_size, order);
                if (pluggable) database.id = kPluggableDatabaseId;
                const datafile::BuiltDatabase built = datafile::build_database(database);
                datafile::write_database(built, directory);
                write_text(directory + "/schema.sql", schema::write_schema_file(datafile::schema_of(database, &built)));
            }
            return 0;
        }
        if (what == "hostile" && words.size() == 2) {
            std::filesystem::create_directories(words[1]);
            const datafile::HostileDatabase hostile = datafile::hostile_database();
            const datafile::BuiltDatabase built = datafile::build_database(hostile.database);
            datafile::write_database(built, words[1]);
            write_text(words[1] + "/schema.sql", schema::write_schema_file(datafile::schema_of(hostile.database, &built)));
            std::string lines;
            for (const std::string& line : hostile.loaded_tables) lines += line + "\n";
            write_text(words[1] + "/loaded-tables.txt", lines);
            return 0;
        }
        if (what == "exact" && words.size() == 2) {
            std::filesystem::create_directories(words[1]);
            const datafile::ExactDatabase exact = datafile::exact_database();
            datafile::write_database(datafile::build_database(exact.database), words[1]);
            write_text(words[1] + "/schema.sql", schema::write_schema_file(datafile::schema_of(exact.database)));
            write_text(words[1] + "/expected-values.csv", datafile::expected_values_csv(exact));
            return 0;
        }
        if (what == "lobs" && words.size() == 2) {
            std::filesystem::create_directories(words[1]);
            datafile::LobCases cases = datafile::lob_database(block_size, order, lob_mib);
            if (hostile_names) datafile::give_hostile_names(cases);
            const datafile::BuiltDatabase built = datafile::build_database(cases.database);
            datafile::write_database(built, words[1]);
            write_text(words[1] + "/schema.sql", schema::write_schema_file(datafile::schema_of(cases.database, &built)));
            write_text(words[1] + "/expected-lobs.csv", datafile::expected_lobs_csv(cases));
            return 0;
        }
        if (what == "sample" || what == "types") {
            datafile::File file = what == "sample" ? datafile::sample_file() : datafile::types_file();
            file.block_size = block_size;
            file.byte_order = order;
            datafile::write_file(words[1], datafile::build_file(file));
            if (words.size() > 2)
                write_text(words[2], what == "sample" ? datafile::sample_template() : datafile::types_template());
            return 0;
        }
        const bool varied = what == "varied";
        const bool timestamps = what == "timestamps";
        const bool chained = what == "chained";
        const bool objects = what == "objects";
        if ((what == "bench" || varied || what == "damaged" || timestamps || chained || objects) &&
            words.size() >= 3) {
            char* end = nullptr;
            unsigned long long mib = std::strtoull(words[2].c_str(), &end, 10);
            if (end == words[2].c_str() || *end != '\0' || mib == 0 || mib > (1ull << 24)) return usage();
            if (chained) {
                datafile::write_chained_bench_file(words[1], mib * (1u << 20) / block_size, block_size, order);
                if (words.size() > 3) write_text(words[3], datafile::bench_template());
                return 0;
            }
            const datafile::BenchData data = varied              ? datafile::BenchData::Varied
                                             : what == "damaged" ? datafile::BenchData::Damaged
                                             : timestamps        ? datafile::BenchData::Timestamps
                                             : objects           ? datafile::BenchData::Objects
                                                                 : datafile::BenchData::Rows;
            datafile::write_bench_file(words[1], mib * (1u << 20) / block_size, block_size, data, order);
            if (words.size() > 3)
                write_text(words[3], varied       ? datafile::varied_template()
                                     : timestamps ? datafile::timestamps_template()
                                     : objects    ? datafile::objects_template()
                                                  : datafile::bench_template());
            return 0;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_datafile: %s\n", e.what());
        return 1;
    }
    return usage();
}
