#include "platform/OnDemandLibrary.h"

#include <QLoggingCategory>
#include <dlfcn.h>

Q_LOGGING_CATEGORY(lcLibrary, "orvel.library")

namespace OnDemandLibrary {

void* open(const char* soname) {
    // Local: its symbols stay out of the lookups of everything loaded later.
    void* library = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (!library)
        qCWarning(lcLibrary) << "cannot load" << soname << ":" << dlerror();
    return library;
}

void* function(void* library, const char* name) {
    void* symbol = dlsym(library, name);
    if (!symbol)
        qCWarning(lcLibrary) << "the library has no" << name;
    return symbol;
}

} // namespace OnDemandLibrary
