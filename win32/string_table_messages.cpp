#include "win32/string_table_messages.h"

#include <windows.h>

#include "engine/byte_limits.h"

namespace updater::win32 {

std::string StringTableMessages::load(MessageId id) const {
    // The longest text of the table is far below this; a missing id gives "".
    char buffer[kMessageBufferBytes];
    const int length = LoadStringA(GetModuleHandleA(nullptr), static_cast<UINT>(id), buffer, sizeof buffer);
    return std::string(buffer, length > 0 ? static_cast<std::size_t>(length) : 0);
}

}  // namespace updater::win32
