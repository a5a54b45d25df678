#pragma once
// Date texts through the OLE Automation parser, under the user's default locale.
#include "engine/platform/date_parser.h"

namespace updater::win32 {

class OleDateParser : public DateParser {
public:
    DateValue parse(const std::string& text) override;
};

}  // namespace updater::win32
