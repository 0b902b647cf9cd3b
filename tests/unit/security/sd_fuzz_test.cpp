// Runs the parser's fuzz target over a bounded number of random and mutated inputs.
#include "sample_sd.h"
#include "sd_fuzz_target.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace {

void feed(const QByteArray &b)
{
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(b.constData()), std::size_t(b.size()));
}

} // namespace

TEST(DescriptorFuzz, MutatedDescriptorsNeverCrashOrReadOutOfBounds)
{
    const QByteArray seed = sampleDescriptor().toBytes();
    QRandomGenerator rng(20240131);
    int accepted = 0;
    for (int i = 0; i < 20000; ++i) {
        QByteArray b = seed;
        const int edits = 1 + int(rng.bounded(6));
        for (int e = 0; e < edits; ++e) {
            switch (rng.bounded(5)) {
            case 0: // flip a byte
                b[int(rng.bounded(int(b.size())))] = char(rng.bounded(256));
                break;
            case 1: // truncate
                b.truncate(int(rng.bounded(int(b.size()) + 1)));
                break;
            case 2: // a small number where offsets, counts and sizes live
                if (b.size() > 4) {
                    const int at = int(rng.bounded(int(b.size()) - 1));
                    const quint16 v = quint16(rng.bounded(0x120));
                    b[at] = char(v);
                    b[at + 1] = char(v >> 8);
                }
                break;
            case 3: // insert random bytes
                b.insert(int(rng.bounded(int(b.size()) + 1)), QByteArray(int(rng.bounded(9)), char(rng.bounded(256))));
                break;
            default: // remove a slice
                if (!b.isEmpty()) {
                    const int at = int(rng.bounded(int(b.size())));
                    b.remove(at, int(rng.bounded(int(b.size() - at) + 1)));
                }
            }
            if (b.isEmpty())
                break;
        }
        feed(b);
        accepted += security::SecurityDescriptor::parse(b).has_value();
    }
    // The mutations must exercise both paths, or the run proves nothing.
    EXPECT_GT(accepted, 100);
    EXPECT_LT(accepted, 20000);
}

TEST(DescriptorFuzz, RandomBytesNeverCrash)
{
    QRandomGenerator rng(77);
    for (int i = 0; i < 20000; ++i) {
        QByteArray b(int(rng.bounded(200)), '\0');
        for (auto &c : b)
            c = char(rng.bounded(256));
        if (b.size() >= 4 && rng.bounded(2)) {
            b[0] = 1; // a plausible header, so that the offsets are followed
            b[3] = char(0x80 | rng.bounded(256));
        }
        feed(b);
    }
    SUCCEED();
}
