#include "print/lob_columns.h"

void LobColumns::say(const PieceAt& head, std::uint32_t row_offset, std::size_t column, const std::string& why)
{
    if (said++ >= kLobProblemsSaid) return;
    std::string where = "block " + std::to_string(head.block) + " of file " + std::to_string(head.file) + ", ";
    where += head.slot >= 0 ? "slot " + std::to_string(head.slot) : "row offset " + std::to_string(row_offset);
    err.text("trevanix: " + where + ", column " + std::to_string(column) + ": " + why + "\n");
}

std::string LobColumns::tally() const
{
    std::string line = "trevanix: LOB values not read wholly: " + std::to_string(not_read) +
                       " written as their locators in hexadecimal, " + std::to_string(incomplete) +
                       " written with the pages found";
    if (said > kLobProblemsSaid) line += " (the first " + std::to_string(kLobProblemsSaid) + " said above)";
    return line + "\n";
}
