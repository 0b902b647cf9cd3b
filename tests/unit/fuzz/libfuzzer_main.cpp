// One libFuzzer binary per target (ARV_FUZZ_TARGET names it); built only under clang.
#include "fuzz_targets.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    for (const fuzz::NamedTarget &t : fuzz::targets)
        if (std::strcmp(t.name, ARV_FUZZ_TARGET) == 0)
            return t.run(data, size);
    return 0;
}
