#include "dictionary/release.h"

#include "dictionary/bootstrap.h"
#include "read/file_kind.h"

namespace dictionary {

namespace {

// OBJ$'s columns in 12.1, and from 12.2 on (18c, 19c and later releases
// hold at least these).
constexpr std::size_t kObjectColumns12_1 = 25;
constexpr std::size_t kObjectColumns12_2 = 37;

}  // namespace

std::string release_by_object_columns(std::size_t columns)
{
    if (columns >= kObjectColumns12_2) return "12.2 or later";
    if (columns >= kObjectColumns12_1) return "12.1";
    return "11.2 or earlier";
}

Release release_of(const Bootstrap& bootstrap, const CoreTable& objects, DataFile& system)
{
    Release release;
    release.object_columns = objects.columns.size();
    release.by_dictionary = release_by_object_columns(release.object_columns);
    Block header;
    if (system.read(1, header, Access::Random) == ReadStatus::Ok)
        release.by_file_header = release_by_header_length(header.view.bytes);
    release.bootstrap_version = bootstrap.version;
    return release;
}

}  // namespace dictionary
