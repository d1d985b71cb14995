// A file's first bytes, as sniffed to tell its container whatever its name says.
#include "BCContainer.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const BCContainer kind = BCContainer::sniff(QByteArrayView(data, qsizetype(size)));
    (void)kind.rawValue();
    (void)kind.needsConversion();
    return 0;
}
