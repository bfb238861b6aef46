#include "dictionary/core_rows.h"

#include <initializer_list>
#include <limits>
#include <utility>

#include "dictionary/row_fields.h"
#include "format/dictionary_format.h"
#include "schema/oracle_types.h"

namespace dictionary {

namespace {

// Finds the columns a reader needs in the table's statement; false, naming
// the first one missing, when one is not there.
bool find_columns(const CoreTable& table, std::initializer_list<std::pair<std::string_view, ColumnAt*>> needed,
                  std::string& error)
{
    for (const auto& [name, at] : needed) {
        *at = column_at(table.columns, name);
        if (!*at) {
            error = "the statement of " + table.name + " in BOOTSTRAP$ has no column " + std::string(name);
            return false;
        }
    }
    return true;
}

// Columns a reader uses when the table has them.
void find_optional_columns(const CoreTable& table,
                           std::initializer_list<std::pair<std::string_view, ColumnAt*>> wanted)
{
    for (const auto& [name, at] : wanted) *at = column_at(table.columns, name);
}

// A whole number of type T; none for NULL, and for a value that is no
// whole number or lies outside T (`odd` is then set).
template <typename T>
std::optional<T> whole(const Row& row, ColumnAt at, bool& odd)
{
    const std::optional<std::int64_t> value = number_field(row, at, odd);
    if (!value) return std::nullopt;
    if (*value < std::numeric_limits<T>::min() || *value > std::numeric_limits<T>::max()) {
        odd = true;
        return std::nullopt;
    }
    return static_cast<T>(*value);
}

std::optional<std::uint32_t> unsigned_field(const Row& row, ColumnAt at, bool& odd)
{
    return whole<std::uint32_t>(row, at, odd);
}

std::optional<std::int32_t> signed_field(const Row& row, ColumnAt at, bool& odd)
{
    return whole<std::int32_t>(row, at, odd);
}

// PROPERTY flags, which use more than 32 bits in later versions.
std::uint64_t flags_field(const Row& row, ColumnAt at, bool& odd)
{
    const std::optional<std::int64_t> value = whole<std::int64_t>(row, at, odd);
    return value && *value > 0 ? static_cast<std::uint64_t>(*value) : 0;
}

// Keeps a row whose needed fields are all there; counts the others, and
// those kept with a value taken as NULL because it could not be read.
template <typename T, typename Rows>
void keep(Rows& out, T&& row, bool complete, bool odd)
{
    if (!complete) {
        ++out.passed_over;
        return;
    }
    out.odd_rows += odd;
    out.add(std::move(row));
}

// COL$ fields of a column's type.
struct TypeFields {
    std::uint32_t code = 0;
    std::uint32_t length = 0;
    std::optional<std::int32_t> precision;
    std::optional<std::int32_t> scale;
    std::uint64_t property = 0;
    std::uint32_t charset_id = 0;
    std::uint32_t charset_form = 0;
    std::uint32_t char_length = 0;  // 0 when COL$ does not give it
};

schema::CharsetForm form_of(std::uint32_t form)
{
    if (form == dictionary::kCharsetFormDatabase) return schema::CharsetForm::Database;
    if (form == dictionary::kCharsetFormNational) return schema::CharsetForm::National;
    return schema::CharsetForm::None;
}

// The type of a column as COL$ describes it. A column declared in
// characters (the national types always are) keeps its length in
// characters; when COL$ does not give it, it follows from the bytes and
// the character set.
void describe_type(const TypeFields& fields, schema::Column& column)
{
    using schema::OracleType;
    column.type = schema::type_from_code(fields.code, fields.charset_form, fields.scale);
    column.type_code = fields.code;
    column.length = fields.length;
    column.precision = fields.precision;
    // A FLOAT's scale only marks it as one.
    column.scale = column.type == OracleType::Float ? std::nullopt : fields.scale;
    column.charset_form = form_of(fields.charset_form);
    column.charset_id = column.charset_form == schema::CharsetForm::None ? 0 : fields.charset_id;
    const bool national = column.type == OracleType::Nvarchar2 || column.type == OracleType::Nchar;
    const bool text = column.type == OracleType::Varchar2 || column.type == OracleType::Char;
    column.char_semantics = national || (text && (fields.property & kColumnCharLength) != 0);
    if (column.char_semantics)
        column.char_length = fields.char_length != 0
                                 ? fields.char_length
                                 : fields.length / schema::max_character_bytes(column.charset_id, column.charset_form);
    column.hidden = (fields.property & kColumnHidden) != 0;
    column.unused = (fields.property & kColumnUnused) != 0;
    column.is_virtual = (fields.property & kColumnUserVirtual) != 0;
}

}  // namespace

std::optional<RowHandler> object_rows(const CoreTable& table, CoreRows<ObjectRow>& out, std::string& error)
{
    ColumnAt object, data_object, owner, name, subname, type;
    if (!find_columns(table, {{"OBJ#", &object}, {"OWNER#", &owner}, {"NAME", &name}, {"TYPE#", &type}}, error))
        return std::nullopt;
    find_optional_columns(table, {{"DATAOBJ#", &data_object}, {"SUBNAME", &subname}});
    return [=, &out](const Row& row) {
        bool odd = false;
        const auto number = unsigned_field(row, object, odd);
        const auto owner_number = unsigned_field(row, owner, odd);
        const auto type_number = unsigned_field(row, type, odd);
        auto name_text = text_field(row, name);
        ObjectRow read{number.value_or(0), unsigned_field(row, data_object, odd), owner_number.value_or(0),
                       name_text.value_or(""), text_field(row, subname).value_or(""), type_number.value_or(0)};
        keep(out, std::move(read), number && owner_number && type_number && name_text, odd);
    };
}

std::optional<RowHandler> table_rows(const CoreTable& table, CoreRows<TableRow>& out, std::string& error)
{
    ColumnAt object, data_object, cluster, cluster_table, key_columns, columns, property, file, block;
    if (!find_columns(table, {{"OBJ#", &object}}, error)) return std::nullopt;
    find_optional_columns(table, {{"DATAOBJ#", &data_object},
                                  {"BOBJ#", &cluster},
                                  {"TAB#", &cluster_table},
                                  {"CLUCOLS", &key_columns},
                                  {"INTCOLS", &columns},
                                  {"PROPERTY", &property},
                                  {"FILE#", &file},
                                  {"BLOCK#", &block}});
    return [=, &out](const Row& row) {
        bool odd = false;
        const auto number = unsigned_field(row, object, odd);
        TableRow read{number.value_or(0),
                      unsigned_field(row, data_object, odd),
                      unsigned_field(row, cluster, odd),
                      unsigned_field(row, cluster_table, odd),
                      unsigned_field(row, key_columns, odd),
                      unsigned_field(row, columns, odd),
                      flags_field(row, property, odd),
                      unsigned_field(row, file, odd),
                      unsigned_field(row, block, odd)};
        keep(out, std::move(read), number.has_value(), odd);
    };
}

std::optional<RowHandler> column_rows(const CoreTable& table, ColumnRows& out, std::string& error)
{
    ColumnAt object, segment_column, name, type;
    ColumnAt column_number, internal_column, length, precision, scale, null, property, charset_id, charset_form,
        char_length;
    if (!find_columns(table, {{"OBJ#", &object}, {"SEGCOL#", &segment_column}, {"NAME", &name}, {"TYPE#", &type}},
                      error))
        return std::nullopt;
    find_optional_columns(table, {{"COL#", &column_number},
                                  {"INTCOL#", &internal_column},
                                  {"LENGTH", &length},
                                  {"PRECISION#", &precision},
                                  {"SCALE", &scale},
                                  {"NULL$", &null},
                                  {"PROPERTY", &property},
                                  {"CHARSETID", &charset_id},
                                  {"CHARSETFORM", &charset_form},
                                  {kCharLengthColumn, &char_length}});
    return [=, &out](const Row& row) {
        bool odd = false;
        const auto number = unsigned_field(row, object, odd);
        const auto segment = unsigned_field(row, segment_column, odd);
        const auto code = unsigned_field(row, type, odd);
        auto name_text = text_field(row, name);
        schema::Column column;
        column.name = name_text.value_or("");
        column.segment_column = segment.value_or(0);
        column.column_number = unsigned_field(row, column_number, odd).value_or(0);
        column.internal_column = unsigned_field(row, internal_column, odd).value_or(0);
        column.nullable = unsigned_field(row, null, odd).value_or(0) == 0;
        TypeFields fields;
        fields.code = code.value_or(0);
        fields.length = unsigned_field(row, length, odd).value_or(0);
        fields.precision = signed_field(row, precision, odd);
        fields.scale = signed_field(row, scale, odd);
        fields.property = flags_field(row, property, odd);
        fields.charset_id = unsigned_field(row, charset_id, odd).value_or(0);
        fields.charset_form = unsigned_field(row, charset_form, odd).value_or(0);
        fields.char_length = unsigned_field(row, char_length, odd).value_or(0);
        describe_type(fields, column);
        keep(out, std::pair(number.value_or(0), std::move(column)), number && segment && code && name_text, odd);
    };
}

std::optional<RowHandler> user_rows(const CoreTable& table, CoreRows<User>& out, std::string& error)
{
    ColumnAt number, name, type;
    if (!find_columns(table, {{"USER#", &number}, {"NAME", &name}}, error)) return std::nullopt;
    find_optional_columns(table, {{"TYPE#", &type}});
    return [=, &out](const Row& row) {
        bool odd = false;
        const auto user = unsigned_field(row, number, odd);
        auto name_text = text_field(row, name);
        const auto kind = unsigned_field(row, type, odd);
        User read{user.value_or(0), name_text.value_or(""), kind == std::optional<std::uint32_t>(kUserTypeRole)};
        keep(out, std::move(read), user && name_text, odd);
    };
}

}  // namespace dictionary
