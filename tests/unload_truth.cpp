#include "unload_truth.h"

#include <algorithm>
#include <memory>

#include "format/dictionary_format.h"
#include "format/rowid.h"
#include "schema/ddl_writer.h"
#include "schema/oracle_types.h"
#include "schema_truth.h"
#include "unload/load_values.h"
#include "values/charsets.h"
#include "values/text_writers.h"

namespace {

using datafile::ColumnDef;
using datafile::TableDef;
using datafile::Value;

// A written column, as the truth describes it: its COL$ row and where its value lies.
struct TruthColumn {
    const ColumnDef* def;
    std::size_t stored;     // SEGCOL# - 1
    std::uint32_t created;  // COL#
};

// The columns an unload writes: in COL# order, those a row does not show left out.
std::vector<TruthColumn> written_columns(const TableDef& table)
{
    std::vector<TruthColumn> columns;
    const std::vector<datafile::ColumnNumbers> numbers = table.numbers();
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
        const ColumnDef& c = table.columns[i];
        if (c.hidden() || !c.stored() || (c.property & dictionary::kColumnUnused)) continue;
        columns.push_back({&c, numbers[i].segcol - 1, numbers[i].col});
    }
    std::stable_sort(columns.begin(), columns.end(),
                     [](const TruthColumn& a, const TruthColumn& b) { return a.created < b.created; });
    return columns;
}

const datafile::TableRows& rows_of_object(const datafile::BuiltDatabase& built, const TableDef& table,
                                          const std::string& partition, std::uint32_t data_object)
{
    for (const datafile::TableRows& rows : built.rows)
        if (rows.owner == table.owner && rows.table == table.name && rows.partition == partition &&
            rows.data_object == data_object)
            return rows;
    throw std::invalid_argument("no rows of data object " + std::to_string(data_object));
}

}  // namespace

std::string expected_text(const ColumnDef& def, const Value& value)
{
    if (!value || value->empty()) return "";
    unload::LoadColumn column = unload::load_column(schema::type_from_code(def.type, def.charset_form, def.scale));
    std::shared_ptr<const Charset> charset;
    if (column.form == unload::LoadForm::Text && def.charset_id != dictionary::kCharsetAl32Utf8) {
        std::string message;
        charset = make_charset(schema::charset_name(def.charset_id), message);
        column.charset = charset.get();
    }
    std::vector<char> out(unload::value_room(column, false).of(value->size()));
    const ColumnValue bytes{ByteView(value->data(), value->size()), static_cast<std::uint32_t>(value->size()),
                            static_cast<std::uint16_t>(value->size()), false};
    return std::string(out.data(), unload::write_load_value(column, bytes, out.data()).end);
}

std::string rowid_text(std::uint32_t data_object, const datafile::RowAddress& at)
{
    char text[kRowidTextSize];
    put_rowid_text(text, data_object, Rowid{at.file, at.block, at.slot});
    return std::string(text, kRowidTextSize);
}

std::map<std::string, std::vector<CsvRecord>> expected_records(const datafile::BuiltDatabase& built,
                                                               const TableDef& table)
{
    std::map<std::string, std::vector<CsvRecord>> files;
    const std::vector<TruthColumn> columns = written_columns(table);
    auto add = [&](const datafile::TableRows& rows, const std::string& partition, bool dropped) {
        const std::string infix = dropped ? ".dropped" : "";
        for (const datafile::RowTruth& truth : rows.rows) {
            CsvRecord record;
            for (const TruthColumn& c : columns) {
                const std::string text =
                    expected_text(*c.def, c.stored < truth.values.size() ? truth.values[c.stored] : Value());
                // A time zone's value is two fields, its time and its zone.
                if (schema::type_from_code(c.def->type, c.def->charset_form, c.def->scale) !=
                    schema::OracleType::TimestampTz) {
                    record.push_back(text);
                    continue;
                }
                const std::size_t comma = text.find(',');
                record.push_back(text.substr(0, comma));
                record.push_back(comma == std::string::npos ? "" : text.substr(comma + 1));
            }
            record.push_back(truth.head ? rowid_text(truth.data_object, *truth.head) : "");
            if (!table.partitions.empty()) record.push_back(partition);
            files[infix + (truth.deleted ? ".deleted.csv" : truth.head ? ".csv" : ".stale.csv")].push_back(record);
        }
    };
    if (table.partitions.empty()) add(rows_of_object(built, table, "", table.data_object_id), "", table.dropped);
    for (const datafile::PartitionDef& p : table.partitions)
        add(rows_of_object(built, table, p.name, p.data_object_id), p.name, table.dropped || p.dropped);
    return files;
}

WrittenDatabase::WrittenDatabase(datafile::Database description, datafile::SystemDamage damage)
    : database(std::move(description)), built(datafile::build_database(database, damage))
{
    datafile::write_database(built, dir.root());
    system = dir.path("system01.dbf");
    users = dir.path("users01.dbf");
    schema_file = dir.write("schema.sql", schema::write_schema_file(datafile::schema_of(database, &built)));
}
