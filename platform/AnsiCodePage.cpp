#include "platform/AnsiCodePage.h"

#include <langinfo.h>

namespace platform {

std::string AnsiCodeset() {
    const char* codeset = nl_langinfo(CODESET);
    return (codeset && *codeset) ? codeset : "ANSI_X3.4-1968";
}

}  // namespace platform
