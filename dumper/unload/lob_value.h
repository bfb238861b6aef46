// A LOB column's value as its locator leads to it: held in the row, in
// pages of its LOB segment (read through LobPages), or not to be read, and
// why. The unload's writer and the export formats find values through it
// alike, and read them a piece at a time, never whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "format/byte_view.h"
#include "rows/row_reader.h"
#include "schema/schema.h"
#include "unload/lob_pages.h"
#include "unload/secure_file_blocks.h"
#include "values/lob_locator.h"

namespace unload {

struct LobValue {
    enum class Status : std::uint8_t {
        Held,        // the row holds it: one piece, the locator's data
        Empty,       // a LOB of length 0
        Pages,       // in its segment: found.found pages (or blocks), some perhaps missing
        NoLayout,    // its locator does not fit the pages as they are read
        SecureLayout,  // a SecureFile whose extent list or blocks are not of the layout read
        Lost,        // none of its pages was found
        Stored,      // a SecureFile stored compressed, deduplicated or encrypted (LOB$.FLAGS)
        NotRead,     // stored apart, with no files to read it through
        Unreadable,  // no locator of a known form
    };
    Status status = Status::Unreadable;
    LobLocator locator;
    LobFound found;  // Pages, NoLayout, Lost

    // The pieces to read, in order.
    std::size_t pieces() const { return status == Status::Held ? 1 : status == Status::Pages ? found.found : 0; }
    bool readable() const { return status == Status::Held || status == Status::Empty || status == Status::Pages; }
    // Its pages are not all there (none, for Lost).
    bool incomplete() const
    {
        return (status == Status::Pages || status == Status::Lost) && found.found < found.expected;
    }
};

class LobValueReader {
public:
    // Reads the values stored apart through `pages` (kept by the caller)
    // and its files; without, they are NotRead.
    explicit LobValueReader(LobPages* pages = nullptr)
        : pages_(pages), secure_(pages != nullptr ? std::make_unique<SecureFileBlocks>(pages->files()) : nullptr)
    {
    }

    LobPages* pages() const { return pages_; }
    // The value of the locator `bytes`, of a column stored as `storage`
    // (nullptr when not known), in the row whose head is `head`.
    LobValue find(ByteView bytes, const schema::LobStorage* storage, const PieceAt& head);
    // The `index`th piece of the value found last; empty when it can no
    // longer be read. Valid until the next call.
    ByteView piece(std::size_t index);

private:
    LobPages* pages_;
    std::unique_ptr<SecureFileBlocks> secure_;
    ByteView held_;
    bool holds_ = false;   // the value found last is held_
    bool secures_ = false; // the value found last is read through secure_
};

}  // namespace unload
