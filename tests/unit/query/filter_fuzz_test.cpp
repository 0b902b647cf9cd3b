// Runs the filter fuzz target over the committed corpus and a bounded number of mutations of it.
#include "filter_fuzz_target.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace {

void feed(const QByteArray &b)
{
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(b.constData()), std::size_t(b.size()));
}

QList<QByteArray> corpus()
{
    QList<QByteArray> out;
    const QDir dir(qEnvironmentVariable("ARV_SOURCE_DIR") + QStringLiteral("/tests/unit/query/fuzz_corpus"));
    for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            out << f.readAll();
    }
    return out;
}

} // namespace

TEST(FilterFuzz, CorpusAndMutationsKeepEveryInvariant)
{
    const QList<QByteArray> seeds = corpus();
    ASSERT_GE(seeds.size(), 8) << "the corpus folder was not found (ARV_SOURCE_DIR)";
    const QByteArray alphabet("()!&|*=<>~:\\/,. 0123456789abcdefABCDEF");
    QRandomGenerator rng(4515);
    for (const QByteArray &s : seeds)
        feed(s);
    for (int i = 0; i < 20000; ++i) {
        QByteArray b = seeds.at(int(rng.bounded(int(seeds.size()))));
        const int edits = 1 + int(rng.bounded(5));
        for (int e = 0; e < edits; ++e) {
            const int at = b.isEmpty() ? 0 : int(rng.bounded(int(b.size())));
            switch (rng.bounded(5)) {
            case 0: // a filter character in place of another
                if (!b.isEmpty())
                    b[at] = alphabet.at(int(rng.bounded(int(alphabet.size()))));
                break;
            case 1: // any byte
                if (!b.isEmpty())
                    b[at] = char(rng.bounded(256));
                break;
            case 2: // insert a filter character
                b.insert(at, alphabet.at(int(rng.bounded(int(alphabet.size())))));
                break;
            case 3: // cut
                b.remove(at, int(rng.bounded(8)));
                break;
            default: // splice another seed in
                b.insert(at, seeds.at(int(rng.bounded(int(seeds.size())))).left(int(rng.bounded(40))));
            }
        }
        feed(b);
    }
    SUCCEED();
}
