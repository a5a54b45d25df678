#pragma once
// Texts of the program's own string table, as shown text (win32/shown_text.h).
#include "engine/report/messages.h"

namespace updater::win32 {

class StringTableMessages : public Messages {
public:
    std::string load(MessageId id) const override;
};

}  // namespace updater::win32
