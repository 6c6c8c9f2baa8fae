// Numbers on the wire use the C locale whatever the host application has set (Qt applications switch
// the process to the user's locale, where 1.5 may print as "1,5").
#pragma once

#include <locale.h>

namespace mivisa {

class CLocaleScope {
public:
    CLocaleScope();
    ~CLocaleScope();
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    locale_t previous_;
};

}  // namespace mivisa
