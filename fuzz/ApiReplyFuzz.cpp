// Service replies of any shape, read the lenient way every operation reads them.
#include "api/ApiReply.h"

#include <cstdint>

namespace {

void readLikeAnOperation(const ApiReply& reply, int depth) {
    for (const char* key : {"result", "csrftoken", "list", "notice", "expire_date"}) {
        (void)reply.has(key);
        (void)reply.text(key);
        (void)reply.integer(key);
        (void)reply.boolean(key);
        if (depth < 4)
            for (const ApiReply& element : reply.array(key))
                readLikeAnOperation(element, depth + 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::optional<ApiReply> reply = ApiReply::parse(
        QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    if (reply)
        readLikeAnOperation(*reply, 0);
    return 0;
}
