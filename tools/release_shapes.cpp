#include "release_shapes.h"

#include <algorithm>
#include <stdexcept>

#include "format/dictionary_format.h"
#include "format/file_format.h"
#include "format/rowid.h"

namespace datafile {

using namespace dictionary;

namespace {

using Columns = std::vector<DeclaredColumn>;

bool long_identifiers(DictionaryShape shape)
{
    return shape == DictionaryShape::Release12_1 || shape == DictionaryShape::Release19c ||
           shape == DictionaryShape::Release19cUpgraded;
}
bool lists_of_12_2(DictionaryShape shape)
{
    return shape == DictionaryShape::Release19c || shape == DictionaryShape::Release19cUpgraded;
}

void widen(Columns& columns, const std::vector<std::string>& names, const std::string& type)
{
    for (DeclaredColumn& c : columns)
        if (std::find(names.begin(), names.end(), c.name) != names.end()) c.type = type;
}

void append(Columns& columns, const Columns& more) { columns.insert(columns.end(), more.begin(), more.end()); }

Columns numbers(const std::vector<std::string>& names)
{
    Columns columns;
    for (const std::string& name : names) columns.push_back({name, "NUMBER", false});
    return columns;
}

Columns object_columns(DictionaryShape shape)
{
    Columns c{{"OBJ#", "NUMBER", true},          {"DATAOBJ#", "NUMBER", false},    {"OWNER#", "NUMBER", true},
              {"NAME", "VARCHAR2(30)", true},    {"NAMESPACE", "NUMBER", true},    {"SUBNAME", "VARCHAR2(30)", false},
              {"TYPE#", "NUMBER", true},         {"CTIME", "DATE", true},          {"MTIME", "DATE", true},
              {"STIME", "DATE", true},           {"STATUS", "NUMBER", true},       {"REMOTEOWNER", "VARCHAR2(30)", false},
              {"LINKNAME", "VARCHAR2(128)", false}, {"FLAGS", "NUMBER", false},    {"OID$", "RAW(16)", false},
              {"SPARE1", "NUMBER", false},       {"SPARE2", "NUMBER", false},      {"SPARE3", "NUMBER", false},
              {"SPARE4", "VARCHAR2(1000)", false}, {"SPARE5", "VARCHAR2(1000)", false}, {"SPARE6", "DATE", false}};
    if (!long_identifiers(shape)) return c;
    widen(c, {"NAME", "SUBNAME", "REMOTEOWNER"}, "VARCHAR2(128)");
    append(c, {{"SIGNATURE", "RAW(16)", false}});
    append(c, numbers({"SPARE7", "SPARE8", "SPARE9"}));
    if (!lists_of_12_2(shape)) return c;
    append(c, numbers({"DFLCOLLID", "CREAPPID", "CREVERID", "CREPATCHID", "MODAPPID", "MODVERID", "MODPATCHID",
                       "SPARE10", "SPARE11"}));
    append(c, {{"SPARE12", "VARCHAR2(1000)", false}, {"SPARE13", "VARCHAR2(1000)", false},
               {"SPARE14", "TIMESTAMP(6)", false}});
    return c;
}

Columns user_columns(DictionaryShape shape)
{
    Columns c{{"USER#", "NUMBER", true},           {"NAME", "VARCHAR2(30)", true},      {"TYPE#", "NUMBER", true},
              {"PASSWORD", "VARCHAR2(30)", false}, {"DATATS#", "NUMBER", true},         {"TEMPTS#", "NUMBER", true},
              {"CTIME", "DATE", true},             {"PTIME", "DATE", false},            {"EXPTIME", "DATE", false},
              {"LTIME", "DATE", false},            {"RESOURCE$", "NUMBER", true},       {"AUDIT$", "VARCHAR2(38)", false},
              {"DEFROLE", "NUMBER", true},          {"DEFGRP#", "NUMBER", false},        {"DEFGRP_SEQ#", "NUMBER", false},
              {"ASTATUS", "NUMBER", true},          {"LCOUNT", "NUMBER", true},          {"DEFSCHCLASS", "VARCHAR2(30)", false},
              {"EXT_USERNAME", "VARCHAR2(4000)", false}, {"SPARE1", "NUMBER", false},   {"SPARE2", "NUMBER", false},
              {"SPARE3", "NUMBER", false},          {"SPARE4", "VARCHAR2(1000)", false}, {"SPARE5", "VARCHAR2(1000)", false},
              {"SPARE6", "DATE", false}};
    if (!long_identifiers(shape)) return c;
    widen(c, {"NAME", "DEFSCHCLASS"}, "VARCHAR2(128)");
    widen(c, {"PASSWORD"}, "VARCHAR2(4000)");
    append(c, {{"SPARE7", "VARCHAR2(4000)", false}, {"SPARE8", "VARCHAR2(4000)", false}});
    append(c, numbers({"SPARE9", "SPARE10"}));
    append(c, {{"SPARE11", "TIMESTAMP(6)", false}});
    return c;
}

Columns column_columns(DictionaryShape shape)
{
    Columns c{{"OBJ#", "NUMBER", true},       {"COL#", "NUMBER", true},     {"SEGCOL#", "NUMBER", true},
              {"SEGCOLLENGTH", "NUMBER", true}, {"OFFSET", "NUMBER", true},  {"NAME", "VARCHAR2(30)", true},
              {"TYPE#", "NUMBER", true},      {"LENGTH", "NUMBER", true},   {"FIXEDSTORAGE", "NUMBER", true},
              {"PRECISION#", "NUMBER", false}, {"SCALE", "NUMBER", false},  {"NULL$", "NUMBER", true},
              {"DEFLENGTH", "NUMBER", false}, {"DEFAULT$", "LONG", false},  {"INTCOL#", "NUMBER", true},
              {"PROPERTY", "NUMBER", true},   {"CHARSETID", "NUMBER", false}, {"CHARSETFORM", "NUMBER", false}};
    const Columns spares{{"SPARE1", "NUMBER", false},         {"SPARE2", "NUMBER", false},
                         {"SPARE3", "NUMBER", false},         {"SPARE4", "VARCHAR2(1000)", false},
                         {"SPARE5", "VARCHAR2(1000)", false}, {"SPARE6", "DATE", false}};
    if (!long_identifiers(shape)) {
        append(c, spares);
        return c;
    }
    widen(c, {"NAME"}, "VARCHAR2(128)");
    append(c, numbers({"EVALEDITION#", "UNUSABLEBEFORE#", "UNUSABLEBEGINNING#"}));
    append(c, spares);
    append(c, numbers({"SPARE7", "SPARE8"}));
    if (!lists_of_12_2(shape)) return c;
    append(c, numbers({"COLLID", "COLLINTCOL#", "SPARE9", "SPARE10", "SPARE11", "SPARE12", "SPARE13", "ACDRRESCOL#"}));
    return c;
}

Columns table_columns(DictionaryShape shape)
{
    Columns c = numbers({"OBJ#", "DATAOBJ#", "TS#", "FILE#", "BLOCK#", "BOBJ#", "TAB#", "COLS", "CLUCOLS", "PCTFREE$",
                         "PCTUSED$", "INITRANS", "MAXTRANS", "FLAGS"});
    for (const char* name : {"OBJ#", "TS#", "FILE#", "BLOCK#", "COLS", "PCTFREE$", "PCTUSED$", "INITRANS", "MAXTRANS",
                             "FLAGS"})
        for (DeclaredColumn& column : c)
            if (column.name == name) column.not_null = true;
    append(c, {{"AUDIT$", "VARCHAR2(38)", true}});
    append(c, numbers({"ROWCNT", "BLKCNT", "EMPCNT", "AVGSPC", "CHNCNT", "AVGRLN", "AVGSPC_FLB", "FLBCNT"}));
    append(c, {{"ANALYZETIME", "DATE", false}});
    append(c, numbers({"SAMPLESIZE", "DEGREE", "INSTANCES"}));
    append(c, {{"INTCOLS", "NUMBER", true}, {"KERNELCOLS", "NUMBER", true}, {"PROPERTY", "NUMBER", true}});
    append(c, numbers({"TRIGFLAG", "SPARE1", "SPARE2", "SPARE3"}));
    append(c, {{"SPARE4", "VARCHAR2(1000)", false}, {"SPARE5", "VARCHAR2(1000)", false}, {"SPARE6", "DATE", false}});
    if (!lists_of_12_2(shape)) return c;
    append(c, numbers({"SPARE7", "SPARE8"}));
    append(c, {{"SPARE9", "VARCHAR2(1000)", false}, {"SPARE10", "VARCHAR2(1000)", false}});
    append(c, numbers({"ACDRFLAGS", "ACDRTSOBJ#"}));
    append(c, {{"ACDRDEFAULTTIME", "TIMESTAMP(6)", false}, {"ACDRROWTSINTCOL#", "NUMBER", false}});
    return c;
}

std::string column_list(const Columns& columns)
{
    std::string text = "(";
    for (const DeclaredColumn& c : columns)
        text += (text.size() == 1 ? "\"" : ",\"") + c.name + "\" " + c.type + (c.not_null ? " NOT NULL" : "");
    return text + ")";
}

// A segment's STORAGE clause as the 11.2 statements write it.
struct Storage {
    const char* initial;
    const char* next;
    const char* most_extents = "2147483645";
    bool increase = true;  // PCTINCREASE 0 is written
};

std::string storage_clause(const Storage& storage, std::uint32_t object, std::uint16_t file, std::uint32_t block)
{
    std::string text = std::string("STORAGE (  INITIAL ") + storage.initial + " NEXT " + storage.next +
                       " MINEXTENTS 1 MAXEXTENTS " + storage.most_extents;
    if (storage.increase) text += " PCTINCREASE 0";
    return text + " OBJNO " + std::to_string(object) + " EXTENTS (FILE " + std::to_string(file) + " BLOCK " +
           std::to_string(block) + "))";
}

std::string lower_case(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// Where the shape puts each core object: its LINE#, object number and,
// for those with a segment, the header's block; a clustered table's
// number in its cluster.
struct CoreObject {
    std::int64_t line;
    std::uint32_t object;
    std::uint32_t block;
    std::uint8_t table = 0;
};

struct Layout {
    CoreObject obj_cluster, obj_cluster_index, tab, col, user_cluster, user_cluster_index, user, obj, bootstrap;
    std::vector<CoreObject> obj_indexes;  // lower-case index lines on OBJ$ (upgraded only)
};

Layout fresh_layout()
{
    return {{kObjClusterObject, kObjClusterObject, 144},
            {3, 3, 168},
            {kTabObject, kTabObject, 0, kTabClusterTable},
            {kColObject, kColObject, 0, kColClusterTable},
            {kUserClusterObject, kUserClusterObject, 208},
            {11, 11, 216},
            {kUserObject, kUserObject, 0, kUserClusterTable},
            {kObjObject, kObjObject, 240},
            {59, 59, 520},
            {}};
}

// New numbers above the sample's users' objects, in the order the upgrade
// creates the objects, and new segments past the old ones.
Layout upgraded_layout(std::uint32_t bootstrap_block)
{
    return {{kObjClusterObject, 90001, 1200},
            {3, 90002, 1216},
            {kTabObject, 90005, 0, kUpgradedTabClusterTable},
            {kColObject, 90003, 0, kUpgradedColClusterTable},
            {kUserClusterObject, 90010, 1232},
            {11, 90011, 1240},
            {kUserObject, 90012, 0, kUserClusterTable},
            {kObjObject, 90020, 1248},
            {59, 90030, bootstrap_block != 0 ? bootstrap_block : 1400},
            {{36, 90021, 1264}, {37, 90022, 1272}}};
}

// A name of all 128 bytes an identifier may take from 12.1 on: `start`,
// then letters.
std::string long_name(const std::string& start)
{
    std::string name = start;
    for (std::size_t i = 0; name.size() < 128; ++i) name += static_cast<char>('A' + i % 26);
    return name;
}

ColumnDef column(std::string name, std::uint16_t type, std::uint32_t length, bool nullable = true)
{
    ColumnDef c;
    c.name = std::move(name);
    c.type = type;
    c.length = length;
    c.nullable = nullable;
    if (type == kTypeVarchar2) {
        c.charset_id = kCharsetAl32Utf8;
        c.charset_form = kCharsetFormDatabase;
    }
    return c;
}

Value text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A user and tables whose names take all 128 bytes, one of them with a
// letter of two bytes, and a column as long.
void add_long_names(Database& db)
{
    const std::string owner = long_name("WAREHOUSE_ANALYTICS_");
    db.users.push_back({120, owner, kUserTypeUser});
    TableDef regions;
    regions.owner = owner;
    regions.name = long_name("QUARTERLY_SALES_BY_REGION_");
    regions.object_id = regions.data_object_id = 87180;
    regions.columns = {column("ID", kTypeNumber, 22, false), column(long_name("REGION_DESCRIPTION_"), kTypeVarchar2, 60)};
    for (int i = 1; i <= 3; ++i)
        regions.rows.push_back({{number_value(std::to_string(i)), text("region " + std::to_string(i))}, false});
    TableDef orders;
    orders.owner = "SCOTT";
    orders.name = long_name("KUNDEN_\xC3\x9C" "BERSICHT_");
    orders.object_id = orders.data_object_id = 87185;
    orders.columns = {column("ID", kTypeNumber, 22, false), column("NAME", kTypeVarchar2, 128)};
    orders.rows = {{{number_value("1"), text(orders.name)}, false}, {{number_value("2"), std::nullopt}, false}};
    db.tables.push_back(std::move(regions));
    db.tables.push_back(std::move(orders));
}

}  // namespace

std::string shape_name(DictionaryShape shape)
{
    switch (shape) {
    case DictionaryShape::Release10g: return "10g";
    case DictionaryShape::Release11_2: return "11.2";
    case DictionaryShape::Release12_1: return "12.1";
    case DictionaryShape::Release19c: return "19c";
    case DictionaryShape::Release19cUpgraded: return "19c-upgraded";
    }
    return "";
}

const std::vector<DictionaryShape>& all_shapes()
{
    static const std::vector<DictionaryShape> shapes{DictionaryShape::Release10g, DictionaryShape::Release11_2,
                                                     DictionaryShape::Release12_1, DictionaryShape::Release19c,
                                                     DictionaryShape::Release19cUpgraded};
    return shapes;
}

std::vector<DeclaredColumn> storage_order(std::vector<DeclaredColumn> declared)
{
    const auto long_column = std::find_if(declared.begin(), declared.end(),
                                          [](const DeclaredColumn& c) { return c.type == "LONG"; });
    if (long_column != declared.end() && long_column + 1 != declared.end()) std::iter_swap(long_column, declared.end() - 1);
    return declared;
}

std::vector<DeclaredColumn> declared_columns(DictionaryShape shape, const std::string& table)
{
    if (table == "OBJ$") return object_columns(shape);
    if (table == "USER$") return user_columns(shape);
    if (table == "COL$") return column_columns(shape);
    if (table == "TAB$") return table_columns(shape);
    throw std::invalid_argument("no declared columns of " + table);
}

std::vector<BootstrapLine> shape_bootstrap_lines(DictionaryShape shape, std::uint16_t system_file,
                                                 std::uint32_t bootstrap_block)
{
    const bool upgraded = shape == DictionaryShape::Release19cUpgraded;
    const Layout l = upgraded ? upgraded_layout(bootstrap_block) : fresh_layout();
    const std::uint16_t f = system_file;
    const Storage cluster_storage{"136K", "200K"}, small{"64K", "1024K"}, objects{"16K", "104K"};
    auto clustered = [&](const char* name, const CoreObject& o, const char* cluster, const char* key) {
        return BootstrapLine{o.line, o.object,
                             std::string("CREATE TABLE ") + name + column_list(storage_order(declared_columns(shape, name))) +
                                 " STORAGE (  OBJNO " + std::to_string(o.object) + " TABNO " +
                                 std::to_string(o.table) + ") CLUSTER " + cluster + "(" + key + ")"};
    };
    auto heap = [&](const char* name, const Columns& columns, const CoreObject& o, const Storage& storage) {
        return BootstrapLine{o.line, o.object,
                             std::string("CREATE TABLE ") + name + column_list(columns) +
                                 " PCTFREE 10 PCTUSED 40 INITRANS 1 MAXTRANS 255 " +
                                 storage_clause(storage, o.object, f, o.block)};
    };
    auto cluster_index = [&](const char* name, const char* cluster, const CoreObject& o) {
        return BootstrapLine{o.line, o.object,
                             std::string("CREATE INDEX ") + name + " ON CLUSTER " + cluster +
                                 " PCTFREE 10 INITRANS 2 MAXTRANS 255 " + storage_clause(small, o.object, f, o.block)};
    };
    const BootstrapLine rollback{0, 0, "CREATE ROLLBACK SEGMENT SYSTEM " +
                                           storage_clause({"112K", "56K", "32765", false}, 0, f, 128)};
    const BootstrapLine obj_cluster{
        l.obj_cluster.line, l.obj_cluster.object,
        "CREATE CLUSTER C_OBJ#(\"OBJ#\" NUMBER) PCTFREE 5 PCTUSED 40 INITRANS 2 MAXTRANS 255 " +
            storage_clause(cluster_storage, l.obj_cluster.object, f, l.obj_cluster.block) + " SIZE 800"};
    const BootstrapLine user_cluster{
        l.user_cluster.line, l.user_cluster.object,
        "CREATE CLUSTER C_USER#(\"USER#\" NUMBER) PCTFREE 10 PCTUSED 40 INITRANS 2 MAXTRANS 255 " +
            storage_clause(small, l.user_cluster.object, f, l.user_cluster.block) + " SIZE 372"};
    const BootstrapLine tab = clustered("TAB$", l.tab, "C_OBJ#", "OBJ#");
    const BootstrapLine col = clustered("COL$", l.col, "C_OBJ#", "OBJ#");
    const BootstrapLine user = clustered("USER$", l.user, "C_USER#", "USER#");
    const BootstrapLine obj = heap("OBJ$", storage_order(object_columns(shape)), l.obj, objects);
    const BootstrapLine bootstrap =
        heap("BOOTSTRAP$", {{"LINE#", "NUMBER", true}, {"OBJ#", "NUMBER", true}, {"SQL_TEXT", "VARCHAR2(4000)", true}},
             l.bootstrap, small);
    const BootstrapLine version{kBootstrapVersionLine, kBootstrapVersionLine, "8.0.0.0.0"};
    if (!upgraded)
        return {version, rollback, obj_cluster, cluster_index("I_OBJ#", "C_OBJ#", l.obj_cluster_index), tab,
                user_cluster, cluster_index("I_USER#", "C_USER#", l.user_cluster_index), obj, col, user, bootstrap};
    std::vector<BootstrapLine> lines{version, rollback, obj_cluster,
                                     cluster_index("I_OBJ#", "C_OBJ#", l.obj_cluster_index), col, tab, user_cluster,
                                     cluster_index("I_USER#", "C_USER#", l.user_cluster_index), user, obj};
    const char* keys[] = {"OBJ#", "OWNER#, NAME, NAMESPACE, REMOTEOWNER, LINKNAME, SUBNAME, TYPE#, SPARE3"};
    for (std::size_t i = 0; i < l.obj_indexes.size(); ++i) {
        const CoreObject& o = l.obj_indexes[i];
        lines.push_back({o.line, o.object,
                         lower_case("CREATE UNIQUE INDEX I_OBJ" + std::to_string(i + 1) + " ON OBJ$(" + keys[i % 2] +
                                    ") PCTFREE 10 INITRANS 1 MAXTRANS 255 " + storage_clause(small, o.object, f, o.block))});
    }
    lines.push_back(bootstrap);
    return lines;
}

Database release_database(DictionaryShape shape, std::uint32_t block_size, ByteOrder order, bool bigfile_system)
{
    Database db = sample_database(block_size, order);
    db.system_file = bigfile_system ? static_cast<std::uint16_t>(kBigfileRelativeFile) : 1;
    db.system_layout.sparse = bigfile_system;
    const bool far = bigfile_system && shape == DictionaryShape::Release19cUpgraded;
    db.bootstrap = shape_bootstrap_lines(shape, db.system_file, far ? kFarBootstrapBlock : 0);
    db.header_size = shape == DictionaryShape::Release10g    ? file_format::kHeaderSize10g
                     : shape == DictionaryShape::Release11_2 ? file_format::kHeaderSize11g
                                                             : file_format::kHeaderSize12c;
    if (!long_identifiers(shape)) return db;
    add_long_names(db);

    // Values in the columns the releases add, the last ones among them, so
    // that every row stores them.
    const Value created = date_value(2019, 3, 1, 9, 0, 0);
    const Value collation = number_value("16382");
    db.dictionary_values["OBJ$"] = {{"SIGNATURE", Bytes(16, 0x5A)}, {"SPARE9", number_value("0")}};
    db.dictionary_values["USER$"] = {{"SPARE11", created}};
    db.dictionary_values["COL$"] = {{"SPARE8", number_value("0")}};
    if (lists_of_12_2(shape)) {
        db.dictionary_values["OBJ$"].insert({{"DFLCOLLID", collation}, {"SPARE14", created}});
        db.dictionary_values["COL$"].insert({{"COLLID", collation}, {"ACDRRESCOL#", number_value("0")}});
        db.dictionary_values["TAB$"] = {{"ACDRDEFAULTTIME", created}, {"ACDRROWTSINTCOL#", number_value("0")}};
    }
    return db;
}

}  // namespace datafile
