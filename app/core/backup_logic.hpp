#pragma once
// The texts behind the safety copies: the batch line that copies chapter files, and names of
// timestamped copies that never overwrite an earlier one.
#include <functional>
#include <string>
#include <string_view>

#include "runtime/datetime.hpp"

namespace core {

// "copy", two spaces, the quoted source pattern, two spaces, the quoted target folder (GBK).
// programDir is the program directory as GBK text, without a trailing backslash. A '%' is
// doubled, since the command interpreter expands it inside batch files.
[[nodiscard]] std::string backupBatchLine(std::string_view programDir);

// Name of the timestamped auto-save copy: date-time text + "【备份】.txt"; when that name is
// taken, " (2)", " (3)"… goes before "【备份】.txt".
[[nodiscard]] std::string closingCopyName(const rt::LocalDateTime& when,
                                          const std::function<bool(const std::string&)>& taken);

}  // namespace core
