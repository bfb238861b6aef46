// Passes over the blocks of a run's files: what each block read is handed
// to, how a pass ends, and a reader of passes for the modes that make
// several (the rows of tables: --unload, --ddl).
#pragma once

#include <cstdint>
#include <functional>

#include "print/printer.h"
#include "read/block_decoder.h"

// What a pass over the blocks does with each block it decodes.
class BlockVisitor {
public:
    virtual ~BlockVisitor() = default;
    virtual void load_failure(const LoadFailureRecord& failure) = 0;
    // A block of the object asked for, its data layer decoded; false when it
    // ends the run.
    virtual bool block(const DecodedBlock& block) = 0;
};

// How the blocks of one file, or of the run, came to an end.
enum class PassEnd : std::uint8_t {
    Stopped,    // the block count or the single block
    EndOfFile,  // the end of the file: the next file follows
    Failed,     // a block could not be read, or ends the run
};

// Reads every file of the run once, handing each block to `visitor`;
// `notes` says what was read on the message sink. A file that got shorter
// while it was read fails the pass.
using PassReader = std::function<PassEnd(BlockVisitor& visitor, bool notes)>;
