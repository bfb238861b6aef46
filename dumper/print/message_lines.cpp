#include "print/message_lines.h"

void print_load_failure(OutputSink& out, const LoadFailureRecord& failure)
{
    switch (failure.failure) {
    case LoadFailure::BlockSizeTooBig:
        out.text("Block size too big.\n");
        break;
    case LoadFailure::OpenFailed:
        out.text("Failed to open datafile ");
        out.text(failure.path);
        out.byte('\n');
        break;
    case LoadFailure::SeekRefused:
        out.text("Failed to set pointer.\n");
        break;
    case LoadFailure::ReadFailed:
        out.text("Failed to read ");
        out.dec(static_cast<std::int32_t>(failure.block_size));
        out.text(" bytes\n");
        break;
    }
}

const char* block_failure_message(BlockOutcome outcome)
{
    switch (outcome) {
    case BlockOutcome::DataHeaderOutOfBounds: return "Offset of data header structure is out of bounds.\n";
    case BlockOutcome::TableDirectoryOutOfBounds: return "Offset of table directory structure is out of bounds.\n";
    case BlockOutcome::RowDirectoryOutOfBounds: return "Offset of row directory is out of bounds.\n";
    default: return "";
    }
}

namespace {

void print_block_prefix(OutputSink& out, const DecodedBlock& block)
{
    out.text("Block ID: ");
    out.dec(block.block.number);
    out.text(", ");
}

}  // namespace

void print_block_failure(OutputSink& out, const DecodedBlock& block)
{
    print_block_prefix(out, block);
    out.text(block_failure_message(block.outcome));
}

void print_block_content(OutputSink& out, const DecodedBlock& block, BlockContent content)
{
    if (content == BlockContent::Rows) return;
    print_block_prefix(out, block);
    out.text(content_description(content));
    out.text(": its rows are not decoded\n");
}

void print_entry_beyond_block(OutputSink& out, const DecodedBlock& block)
{
    print_block_prefix(out, block);
    out.text(kEntryBeyondBlock);
}
