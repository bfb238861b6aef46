#include "schema/ddl_parser.h"

#include <algorithm>
#include <tuple>

#include "schema/oracle_types.h"
#include "schema/sql_tokens.h"

namespace schema {

namespace {

// ---------------------------------------------------------------------------
// Shared by both readers.

std::string read_name(TokenCursor& tokens, std::string_view what)
{
    const Token& token = tokens.peek();
    if (token.kind != TokenKind::Word && token.kind != TokenKind::QuotedWord) tokens.fail_expected(what);
    return folded_name(tokens.next());
}

// [owner.]name
std::pair<std::string, std::string> read_object_name(TokenCursor& tokens, std::string_view what)
{
    std::string first = read_name(tokens, what);
    if (!tokens.take_symbol('.')) return {"", first};
    return {first, read_name(tokens, what)};
}

// Numbers columns as a schema lists them: every one stored, in order.
void number_columns(std::vector<Column>& columns)
{
    std::uint32_t visible = 0;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        Column& column = columns[i];
        column.segment_column = static_cast<std::uint32_t>(i + 1);
        column.internal_column = column.segment_column;
        column.column_number = column.hidden || column.unused ? 0 : ++visible;
    }
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// The rest of `text` after `prefix`, matched in any case; none when it
// does not start so.
std::optional<std::string_view> after_prefix(std::string_view text, std::string_view prefix)
{
    if (!equal_any_case(text.substr(0, prefix.size()), prefix)) return std::nullopt;
    return text.substr(prefix.size());
}

// ---------------------------------------------------------------------------
// BOOTSTRAP$ statements.

class BootstrapReader {
public:
    explicit BootstrapReader(TokenCursor& tokens) : tokens_(tokens) {}

    BootstrapStatement read()
    {
        tokens_.expect_word("CREATE");
        if (tokens_.take_word("TABLE")) {
            read_named_with_columns(StatementKind::Table);
        } else if (tokens_.take_word("CLUSTER")) {
            read_named_with_columns(StatementKind::Cluster);
        } else if (tokens_.take_word("UNIQUE") || tokens_.at_word("INDEX")) {
            tokens_.expect_word("INDEX");
            statement_.kind = StatementKind::Index;
            statement_.name = read_name(tokens_, "an index name");
            tokens_.expect_word("ON");
            tokens_.take_word("CLUSTER");
            read_object_name(tokens_, "a table or cluster name");
        } else if (tokens_.take_word("ROLLBACK")) {
            tokens_.expect_word("SEGMENT");
            statement_.kind = StatementKind::Other;
            statement_.name = read_name(tokens_, "a rollback segment name");
        } else {
            tokens_.fail_expected("TABLE, CLUSTER, INDEX or ROLLBACK SEGMENT");
        }
        read_clauses();
        if (!object_number_) tokens_.fail("no OBJNO in the statement");
        statement_.object_number = *object_number_;
        return std::move(statement_);
    }

private:
    void read_named_with_columns(StatementKind kind)
    {
        statement_.kind = kind;
        statement_.name = read_name(tokens_, kind == StatementKind::Table ? "a table name" : "a cluster name");
        tokens_.expect_symbol('(');
        do {
            std::string name = read_name(tokens_, "a column name");
            Column column = read_sql_type(tokens_);
            column.name = std::move(name);
            if (tokens_.take_word("NOT")) {
                tokens_.expect_word("NULL");
                column.nullable = false;
            }
            statement_.columns.push_back(std::move(column));
        } while (tokens_.take_symbol(','));
        if (!tokens_.take_symbol(')')) tokens_.fail_expected("\",\" or \")\"");
        number_columns(statement_.columns);
    }

    // The clauses after the name or column list: STORAGE and CLUSTER are
    // read, the others (PCTFREE 10, SIZE 800, ...) passed over.
    void read_clauses()
    {
        while (!tokens_.at_end()) {
            if (tokens_.take_word("STORAGE")) {
                read_storage();
            } else if (statement_.kind == StatementKind::Table && tokens_.take_word("CLUSTER")) {
                read_cluster_clause();
            } else if (tokens_.at_symbol('(')) {
                tokens_.skip_group();
            } else if (tokens_.take_symbol(';')) {
                if (!tokens_.at_end()) tokens_.fail_expected("the end after \";\"");
            } else if (tokens_.peek().kind == TokenKind::Word || tokens_.peek().kind == TokenKind::Number) {
                tokens_.next();
            } else {
                tokens_.fail_expected("a clause");
            }
        }
    }

    // STORAGE ( ... OBJNO n [TABNO k] [EXTENTS (FILE f BLOCK b)] ... )
    void read_storage()
    {
        const Token open = tokens_.peek();
        tokens_.expect_symbol('(');
        while (!tokens_.take_symbol(')')) {
            if (tokens_.at_end()) throw SqlSyntaxError{"this \"(\" is never closed", open};
            if (tokens_.take_word("OBJNO")) {
                object_number_ = tokens_.expect_number("an object number");
            } else if (tokens_.take_word("TABNO")) {
                statement_.table_number = tokens_.expect_number("a table number");
            } else if (tokens_.take_word("EXTENTS")) {
                read_extents();
            } else if (tokens_.at_symbol('(')) {
                tokens_.skip_group();
            } else if (tokens_.peek().kind == TokenKind::Word || tokens_.peek().kind == TokenKind::Number) {
                tokens_.next();
            } else {
                tokens_.fail_expected("a storage clause");
            }
        }
    }

    void read_extents()
    {
        tokens_.expect_symbol('(');
        do {
            Extent extent;
            tokens_.expect_word("FILE");
            extent.file = tokens_.expect_number("a file number");
            tokens_.expect_word("BLOCK");
            extent.block = tokens_.expect_number("a block number");
            statement_.extents.push_back(extent);
            tokens_.take_symbol(',');
        } while (!tokens_.take_symbol(')'));
    }

    // CLUSTER name(key, ...)
    void read_cluster_clause()
    {
        statement_.cluster_name = read_name(tokens_, "a cluster name");
        tokens_.expect_symbol('(');
        do {
            statement_.cluster_key.push_back(read_name(tokens_, "a key column name"));
        } while (tokens_.take_symbol(','));
        if (!tokens_.take_symbol(')')) tokens_.fail_expected("\",\" or \")\"");
    }

    TokenCursor& tokens_;
    BootstrapStatement statement_;
    std::optional<std::uint32_t> object_number_;
};

// ---------------------------------------------------------------------------
// Schema files.

// What the comment lines before a CREATE TABLE say of it.
struct TableHeader {
    bool seen = false;  // a data object line has been read
    Token line;         // that line
    std::optional<std::uint32_t> data_object;
    std::optional<SegmentHeader> segment;
    std::optional<ClusterPlacement> cluster;
    std::vector<Partition> partitions;
    std::vector<std::string> note;
    bool dropped = false;
};

// What ends the data object line of a dropped table.
constexpr std::string_view kDroppedEnding = ", dropped";

// Items of a column list that are constraints, not columns.
constexpr std::string_view kConstraintWords[] = {"CONSTRAINT", "PRIMARY", "UNIQUE", "CHECK", "FOREIGN"};

class SchemaFileReader {
public:
    explicit SchemaFileReader(TokenCursor& tokens) : tokens_(tokens) {}

    Schema read()
    {
        while (true) {
            if (const Token* comment = tokens_.take_comment()) {
                read_comment_line(*comment);
            } else if (tokens_.at_end()) {
                break;
            } else if (tokens_.take_symbol(';') || tokens_.take_symbol('/')) {
                continue;
            } else if (tokens_.at_word("CREATE")) {
                read_table();
            } else {
                tokens_.fail_expected("CREATE TABLE");
            }
        }
        if (header_.seen) throw SqlSyntaxError{"no CREATE TABLE follows this data object line", header_.line};
        apply_character_sets();
        return std::move(schema_);
    }

private:
    // A comment between statements: a character set, a table's data
    // objects, a line of the next table's note, or nothing to read.
    void read_comment_line(const Token& comment)
    {
        std::string_view text = comment.text;
        const bool dropped = ends_any_case(text, kDroppedEnding) &&
                             (after_prefix(text, "data object") || after_prefix(text, "no data object"));
        if (dropped) text.remove_suffix(kDroppedEnding.size());
        const auto database = after_prefix(text, "database character set ");
        const auto national = after_prefix(text, "national character set ");
        if (database && is_charset_word(*database)) {
            schema_.database_charset = std::string(*database);
        } else if (national && is_charset_word(*national)) {
            schema_.national_charset = std::string(*national);
        } else if (auto objects = after_prefix(text, "data objects ")) {
            read_data_object_line(comment, *objects, true);
        } else if (auto object = after_prefix(text, "data object ")) {
            read_data_object_line(comment, *object, false);
        } else if (equal_any_case(text, "no data object")) {
            start_header(comment);
        } else if (header_.seen) {
            header_.note.push_back(comment.text);
        }
        if (dropped) header_.dropped = true;
    }

    static bool ends_any_case(std::string_view text, std::string_view ending)
    {
        return text.size() >= ending.size() && equal_any_case(text.substr(text.size() - ending.size()), ending);
    }

    static bool is_charset_word(std::string_view name)
    {
        return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
            return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
        });
    }

    void start_header(const Token& comment)
    {
        if (header_.seen) throw SqlSyntaxError{"a data object line follows another with no table between them", comment};
        header_ = {};
        header_.seen = true;
        header_.line = comment;
    }

    // "N [, cluster table K, key columns J] [, segment header file F block B]"
    // or "N NAME [segment header file F block B], N NAME, ...".
    void read_data_object_line(const Token& comment, std::string_view rest, bool partitioned)
    {
        start_header(comment);
        try {
            const std::vector<Token> tokens = tokenize_sql(rest);
            TokenCursor line(tokens);
            if (partitioned)
                read_partitions(line);
            else
                read_data_object(line);
            if (!line.at_end()) line.fail_expected("the end of the line");
        } catch (const SqlSyntaxError& error) {
            throw SqlSyntaxError{"in the data object line: " + error.message, comment};
        }
    }

    void read_data_object(TokenCursor& line)
    {
        header_.data_object = line.expect_number("a data object number");
        if (!line.take_symbol(',')) return;
        if (!line.at_word("SEGMENT")) {
            ClusterPlacement cluster;
            line.expect_word("CLUSTER");
            line.expect_word("TABLE");
            cluster.table_number = line.expect_number("a table number");
            line.expect_symbol(',');
            line.expect_word("KEY");
            line.expect_word("COLUMNS");
            cluster.key_columns = line.expect_number("a number of key columns");
            header_.cluster = cluster;
            if (!line.take_symbol(',')) return;
        }
        header_.segment = read_segment_header(line);
    }

    // "segment header file F block B"
    static SegmentHeader read_segment_header(TokenCursor& line)
    {
        SegmentHeader segment;
        line.expect_word("SEGMENT");
        line.expect_word("HEADER");
        line.expect_word("FILE");
        segment.file = line.expect_number("a file number");
        line.expect_word("BLOCK");
        segment.block = line.expect_number("a block number");
        return segment;
    }

    void read_partitions(TokenCursor& line)
    {
        do {
            Partition partition;
            partition.data_object = line.expect_number("a data object number");
            partition.name = read_name(line, "a partition name");
            if (line.at_word("SEGMENT")) partition.segment = read_segment_header(line);
            header_.partitions.push_back(std::move(partition));
        } while (line.take_symbol(','));
    }

    void read_table()
    {
        const Token create = tokens_.peek();
        tokens_.expect_word("CREATE");
        tokens_.expect_word("TABLE");
        if (!header_.seen) throw SqlSyntaxError{"no \"-- data object\" line before this table", create};
        Table table;
        std::tie(table.owner, table.name) = read_object_name(tokens_, "a table name");
        table.data_object = header_.data_object;
        table.segment = header_.segment;
        table.cluster = header_.cluster;
        table.partitions = std::move(header_.partitions);
        table.dropped = header_.dropped;
        for (const std::string& line : header_.note) table.note += (table.note.empty() ? "" : "\n") + line;
        header_ = {};
        read_column_list(table);
        skip_table_clauses();
        number_columns(table.columns);
        schema_.tables.push_back(std::move(table));
    }

    void read_column_list(Table& table)
    {
        const Token open = tokens_.peek();
        tokens_.expect_symbol('(');
        if (tokens_.take_symbol(')')) return;
        while (true) {
            const bool is_column = read_column_list_item(table);
            const bool more = tokens_.take_symbol(',');
            if (const Token* comment = tokens_.take_comment_on_line(tokens_.last_line()); comment && is_column)
                read_column_comment(table.columns.back(), *comment);
            if (more) continue;
            if (tokens_.at_end()) throw SqlSyntaxError{"this \"(\" is never closed", open};
            if (!tokens_.take_symbol(')')) tokens_.fail_expected("\",\" or \")\"");
            return;
        }
    }

    // Reads a column into the table, or passes over a constraint; true for a column.
    bool read_column_list_item(Table& table)
    {
        for (std::string_view word : kConstraintWords) {
            if (tokens_.at_word(word)) {
                skip_attributes();
                return false;
            }
        }
        std::string name = read_name(tokens_, "a column name");
        if (tokens_.at_word("AS") || tokens_.at_word("GENERATED")) fail_virtual();
        Column column = read_sql_type(tokens_);
        column.name = std::move(name);
        read_column_attributes(column);
        table.columns.push_back(std::move(column));
        return true;
    }

    [[noreturn]] void fail_virtual() const
    {
        tokens_.fail("a virtual column is not stored: leave it out of the schema file");
    }

    // NOT NULL, NULL, DEFAULT ..., constraints: only NOT NULL matters.
    void read_column_attributes(Column& column)
    {
        while (!at_item_end()) {
            if (tokens_.take_word("NOT")) {
                if (tokens_.take_word("NULL")) column.nullable = false;
            } else if (tokens_.take_word("AS")) {
                if (tokens_.at_symbol('(')) fail_virtual();
            } else if (tokens_.at_word("VIRTUAL")) {
                fail_virtual();
            } else {
                skip_one();
            }
        }
    }

    void skip_attributes()
    {
        while (!at_item_end()) skip_one();
    }

    bool at_item_end() const { return tokens_.at_symbol(',') || tokens_.at_symbol(')') || tokens_.at_end(); }

    void skip_one()
    {
        if (tokens_.at_symbol('('))
            tokens_.skip_group();
        else
            tokens_.next();
    }

    // TABLESPACE, STORAGE (...), PCTFREE, ORGANIZATION ... up to ";" or "/".
    void skip_table_clauses()
    {
        while (!tokens_.at_end() && !tokens_.take_symbol(';') && !tokens_.take_symbol('/')) {
            if (tokens_.at_word("CREATE")) tokens_.fail_expected("\";\" or \"/\" before the next statement");
            if (tokens_.at_symbol(')')) tokens_.fail("this \")\" closes nothing");
            skip_one();
        }
    }

    // Parts apart by ";": "hidden", "unused", "character set NAME",
    // "character set id N", or free text.
    static void read_column_comment(Column& column, const Token& comment)
    {
        const std::string_view text = comment.text;
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t end = text.find(';', start);
            if (end == std::string_view::npos) end = text.size();
            try {
                read_column_comment_part(column, trimmed(text.substr(start, end - start)));
            } catch (const SqlSyntaxError& error) {
                throw SqlSyntaxError{"in the comment of column " + column.name + ": " + error.message, comment};
            }
            start = end + 1;
        }
    }

    static void read_column_comment_part(Column& column, std::string_view part)
    {
        if (part.empty()) return;
        if (equal_any_case(part, "not described")) {
            column.described = false;
        } else if (equal_any_case(part, "hidden")) {
            column.hidden = true;
        } else if (equal_any_case(part, "unused")) {
            column.unused = true;
        } else if (auto id = after_prefix(part, "character set id ")) {
            const std::vector<Token> tokens = tokenize_sql(*id);
            TokenCursor number(tokens);
            column.charset_id = number.expect_number("a character set id");
            if (!number.at_end()) number.fail_expected("the end of the comment");
        } else if (auto name = after_prefix(part, "character set ")) {
            const auto known = charset_id(*name);
            if (!known) throw SqlSyntaxError{"unknown character set \"" + std::string(*name) + "\"", {}};
            column.charset_id = *known;
        } else {
            column.comment += (column.comment.empty() ? "" : "; ") + std::string(part);
        }
    }

    // Text columns that name no character set are in the schema's; the bytes
    // of those declared in characters follow from it.
    void apply_character_sets()
    {
        const std::uint32_t database = schema_.database_charset ? charset_id(*schema_.database_charset).value_or(0) : 0;
        const std::uint32_t national = schema_.national_charset ? charset_id(*schema_.national_charset).value_or(0) : 0;
        for (Table& table : schema_.tables) {
            for (Column& column : table.columns) {
                if (column.charset_id == 0 && column.charset_form != CharsetForm::None)
                    column.charset_id = column.charset_form == CharsetForm::National ? national : database;
                if (column.char_semantics)
                    column.length = bytes_for_characters(column.type, column.char_length, column.charset_id);
            }
        }
    }

    TokenCursor& tokens_;
    Schema schema_;
    TableHeader header_;
};

// Where a token is in a statement of BOOTSTRAP$.
std::string offset_of(const Token& token) { return "offset " + std::to_string(token.offset); }
std::string line_of(const Token& token) { return "line " + std::to_string(token.line); }

}  // namespace

Parsed<BootstrapStatement> parse_bootstrap_statement(std::string_view sql)
{
    Parsed<BootstrapStatement> result;
    try {
        const std::vector<Token> tokens = tokenize_sql(sql);
        TokenCursor cursor(tokens);
        result.value = BootstrapReader(cursor).read();
    } catch (const SqlSyntaxError& error) {
        result = {{}, offset_of(error.at) + ": " + error.message};
    }
    return result;
}

std::optional<std::string> created_name(std::string_view sql, std::string_view kind)
{
    // The words up to the name and the name itself, and no further: the
    // first symbol after a bare name ends it, a quote a quoted one.
    std::size_t end = sql.find_first_of("(\"");
    if (end != std::string_view::npos && sql[end] == '"') end = sql.find('"', end + 1);
    const std::string_view head = end == std::string_view::npos ? sql : sql.substr(0, end + 1);
    try {
        const std::vector<Token> tokens = tokenize_sql(head);
        TokenCursor cursor(tokens);
        if (!cursor.take_word("CREATE") || !cursor.take_word(kind)) return std::nullopt;
        const Token& name = cursor.peek();
        if (name.kind != TokenKind::Word && name.kind != TokenKind::QuotedWord) return std::nullopt;
        return folded_name(name);
    } catch (const SqlSyntaxError&) {
        return std::nullopt;
    }
}

std::vector<Table> bootstrap_tables(const std::vector<BootstrapStatement>& statements)
{
    std::vector<Table> tables;
    for (const BootstrapStatement& statement : statements) {
        if (statement.kind != StatementKind::Table) continue;
        Table table;
        table.owner = "SYS";
        table.name = statement.name;
        table.object_number = statement.object_number;
        table.columns = statement.columns;
        if (statement.cluster_name.empty()) {
            table.data_object = statement.object_number;
        } else {
            ClusterPlacement placement;
            placement.table_number = statement.table_number.value_or(0);
            placement.key_columns = static_cast<std::uint32_t>(statement.cluster_key.size());
            auto cluster = std::find_if(statements.begin(), statements.end(), [&](const BootstrapStatement& s) {
                return s.kind == StatementKind::Cluster && s.name == statement.cluster_name;
            });
            if (cluster != statements.end()) {
                placement.cluster_object = cluster->object_number;
                table.data_object = cluster->object_number;
            }
            table.cluster = placement;
        }
        tables.push_back(std::move(table));
    }
    return tables;
}

Parsed<Schema> parse_schema_file(std::string_view text)
{
    Parsed<Schema> result;
    try {
        const std::vector<Token> tokens = tokenize_sql(text);
        TokenCursor cursor(tokens);
        result.value = SchemaFileReader(cursor).read();
    } catch (const SqlSyntaxError& error) {
        result = {{}, line_of(error.at) + ": " + error.message};
    }
    return result;
}

}  // namespace schema
