// How the accuracy of type inference is counted: a column is typed exactly
// when the inferred type is its own or one whose values have the same
// bytes, and every other outcome is a confusion, counted by what the
// column held and the type it got.
#pragma once

#include <iostream>
#include <map>
#include <string>

#include "schema/oracle_types.h"
#include "schema/schema.h"

namespace inference_accuracy {

using schema::OracleType;

// The types counted as the same: their values are written alike.
inline OracleType family(OracleType type)
{
    switch (type) {
    case OracleType::Float: return OracleType::Number;
    case OracleType::Char: return OracleType::Varchar2;
    case OracleType::Nchar: return OracleType::Nvarchar2;
    case OracleType::TimestampLtz: return OracleType::Timestamp;
    default: return type;
    }
}

// What a column's values leave undecidable: a TIMESTAMP column none of
// whose values has a fraction stores DATEs; a LONG (LONG RAW) column none of
// whose values is longer than a VARCHAR2 (RAW) holds inline stores their
// values.
struct Undecidable {
    bool only_seven_bytes = true;
    bool only_inline_lengths = true;
};

inline bool is_exact(OracleType truth, OracleType inferred, const Undecidable& facts = {})
{
    const OracleType kind = family(truth);
    if (kind == OracleType::Timestamp && facts.only_seven_bytes && inferred == OracleType::Date) return true;
    if (kind == OracleType::Long && facts.only_inline_lengths && inferred == OracleType::Varchar2) return true;
    if (kind == OracleType::LongRaw && facts.only_inline_lengths && inferred == OracleType::Raw) return true;
    return kind == family(inferred);
}

struct Accuracy {
    int columns = 0;
    int exact = 0;
    std::map<std::string, int> confusions;  // "what the column held as inferred type": how many columns

    void count(const std::string& held, OracleType truth, OracleType inferred, const Undecidable& facts = {})
    {
        ++columns;
        if (is_exact(truth, inferred, facts))
            ++exact;
        else
            ++confusions[held + " as " + std::string(schema::type_name(inferred))];
    }

    double share() const { return columns == 0 ? 0.0 : static_cast<double>(exact) / columns; }

    // "inference accuracy (what): 1170 of 1170 columns (100 %)", then a
    // line for each confusion.
    void report(const std::string& what) const
    {
        std::cout << "inference accuracy (" << what << "): " << exact << " of " << columns << " columns ("
                  << static_cast<double>(static_cast<long long>(share() * 1000 + 0.5)) / 10 << " %)\n";
        for (const auto& [confusion, count] : confusions)
            std::cout << "  confused: " << confusion << " x" << count << "\n";
    }
};

}  // namespace inference_accuracy
