// libFuzzer entry for the security descriptor parser; also driven by the unit tests with a
// bounded number of random and mutated inputs.
#include "sd_fuzz_target.h"

#include "platform/security/descriptor.h"

#include <QByteArray>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // A copy without spare capacity, so that a read past the end is seen by ASan.
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QString error;
    const auto sd = security::SecurityDescriptor::parse(bytes, &error);
    if (!sd) {
        if (error.isEmpty())
            std::abort(); // a refusal must say why
        return 0;
    }
    // Whatever was accepted must be written in a form that reads back to the same thing.
    const QByteArray written = sd->toBytes();
    const auto again = security::SecurityDescriptor::parse(written);
    if (!again || again->toBytes() != written)
        std::abort();
    security::SecurityDescriptor canon = *again;
    canon.canonicalizeDacl();
    if (!canon.daclIsCanonical())
        std::abort();
    return 0;
}
