#include "unload/lob_value.h"

namespace unload {

namespace {

bool stored_unreadably(const schema::LobStorage* storage)
{
    return storage != nullptr && (storage->flags & (schema::lob_bits::kEncrypted | schema::lob_bits::kCompressed |
                                                    schema::lob_bits::kDeduplicated)) != 0;
}

}  // namespace

LobValue LobValueReader::find(ByteView bytes, const schema::LobStorage* storage, const PieceAt& head)
{
    LobValue value;
    value.locator = read_lob_locator(bytes);
    held_ = {};
    holds_ = false;
    secures_ = false;
    switch (value.locator.form) {
    case LobForm::Empty: value.status = LobValue::Status::Empty; break;
    case LobForm::BasicInline:
    case LobForm::SecureInline:
        value.status = LobValue::Status::Held;
        held_ = value.locator.data;
        holds_ = true;
        break;
    case LobForm::SecureOutOfLine:
        if (stored_unreadably(storage)) {
            value.status = LobValue::Status::Stored;
            break;
        }
        if (secure_ == nullptr) {
            value.status = LobValue::Status::NotRead;
            break;
        }
        // A partitioned LOB's blocks are its partitions' segments': their data object is not checked.
        value.found = secure_->find(value.locator, head,
                                    storage != nullptr && !storage->partitioned() ? storage->data_object : 0);
        value.status = value.found.status == LobFound::Status::Read ? LobValue::Status::Pages
                                                                     : LobValue::Status::SecureLayout;
        secures_ = true;
        break;
    case LobForm::BasicOutOfLine:
        if (pages_ == nullptr) {
            value.status = LobValue::Status::NotRead;
            break;
        }
        value.found = pages_->find(value.locator, storage, head);
        switch (value.found.status) {
        case LobFound::Status::Read: value.status = LobValue::Status::Pages; break;
        case LobFound::Status::NoLayout: value.status = LobValue::Status::NoLayout; break;
        case LobFound::Status::NoPages: value.status = LobValue::Status::Lost; break;
        }
        break;
    case LobForm::Unreadable: break;
    }
    return value;
}

ByteView LobValueReader::piece(std::size_t index)
{
    if (secures_) return secure_->page(index);
    if (holds_ || pages_ == nullptr) return index == 0 ? held_ : ByteView{};
    return pages_->page(index);
}

}  // namespace unload
