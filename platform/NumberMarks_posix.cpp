#include <langinfo.h>
#include <locale.h>

#include "platform/NumberMarks.h"

namespace tessera::platform {

NumberMarks UserNumberMarks() {
    NumberMarks marks;
    // A locale object of its own: the process-wide locale stays as it is.
    const locale_t user = ::newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
    if (!user) return marks;
    const char* radix = ::nl_langinfo_l(RADIXCHAR, user);
    if (radix && *radix) marks.decimal = radix;
    ::freelocale(user);
    if (marks.decimal == ",") marks.separator = ";";
    return marks;
}

}  // namespace tessera::platform
