// The privileged runner's statement parser on any text: an answer, never a crash.
#include "platform/AppleScriptStatement.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    (void)AppleScriptStatement::parse(
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    return 0;
}
