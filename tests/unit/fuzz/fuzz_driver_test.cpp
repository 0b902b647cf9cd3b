// Runs every fuzz target over its committed seed corpus and a bounded number of mutations of
// it (ARV_FUZZ_RUNS inputs per target, 3000 by default), so that the suite exercises the
// parsers with hostile input on every run; libFuzzer runs them for longer by hand (see
// CMakeLists.txt). An input that breaks a target belongs in its corpus folder afterwards.
#include "fuzz_targets.h"

#include <QDir>
#include <algorithm>
#include <QFile>
#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace {

QList<QByteArray> corpus(const char *name)
{
    QList<QByteArray> out;
    const QDir dir(qEnvironmentVariable("ARV_SOURCE_DIR") + QStringLiteral("/tests/unit/fuzz/corpus/") +
                   QString::fromLatin1(name));
    for (const QString &f : dir.entryList(QDir::Files, QDir::Name)) {
        QFile file(dir.filePath(f));
        if (file.open(QIODevice::ReadOnly))
            out << file.readAll();
    }
    return out;
}

// Tokens that steer mutations into the parsers' interesting corners.
const QList<QByteArray> &tokens()
{
    static const QList<QByteArray> t = {":",      "B:",    "S:",     "\\",       "\\/",  "/",     ",",      "=",
                                        "LDAP://", "RootDSE", ";range=", "-*",     "-",    "*",     "(",      ")",
                                        "\\00",   "\xFF\xD8", "\xFF\xC0", "BM",    "[",    "]",     "\n",     "%",
                                        "2147483647", "4294967296", "0",  "\xC3\xBC", "#",  "+"};
    return t;
}

QByteArray mutate(QByteArray b, QRandomGenerator &rng)
{
    const int edits = 1 + int(rng.bounded(5));
    for (int e = 0; e < edits; ++e) {
        const int n = int(b.size());
        switch (rng.bounded(6)) {
        case 0:
            if (n)
                b[int(rng.bounded(n))] = char(rng.bounded(256));
            break;
        case 1:
            b.truncate(int(rng.bounded(n + 1)));
            break;
        case 2:
            b.insert(int(rng.bounded(n + 1)), tokens().at(int(rng.bounded(int(tokens().size())))));
            break;
        case 3:
            b.insert(int(rng.bounded(n + 1)), QByteArray(1 + int(rng.bounded(8)), char(rng.bounded(256))));
            break;
        case 4:
            if (n) {
                const int at = int(rng.bounded(n));
                b.remove(at, int(rng.bounded(n - at + 1)));
            }
            break;
        default:  // repeat a slice
            if (n) {
                const int at = int(rng.bounded(n));
                const QByteArray slice = b.mid(at, 1 + int(rng.bounded(16)));
                b.insert(int(rng.bounded(n + 1)), slice.repeated(1 + int(rng.bounded(4))));
            }
        }
    }
    return b;
}

void feed(fuzz::Target run, const QByteArray &b)
{
    run(reinterpret_cast<const std::uint8_t *>(b.constData()), std::size_t(b.size()));
}

class Fuzz : public ::testing::TestWithParam<fuzz::NamedTarget> {};

} // namespace

TEST_P(Fuzz, SeedsAndMutationsKeepEveryInvariant)
{
    const fuzz::NamedTarget t = GetParam();
    const QList<QByteArray> seeds = corpus(t.name);
    ASSERT_FALSE(seeds.isEmpty()) << "no seed corpus for " << t.name;
    for (const QByteArray &s : seeds)
        feed(t.run, s);
    bool ok = false;
    int runs = qEnvironmentVariableIntValue("ARV_FUZZ_RUNS", &ok);
    if (!ok || runs <= 0)
        runs = 3000;
    runs = std::max(1, runs * t.runsPercent / 100);
    QRandomGenerator rng(0xA5u + quint32(qHash(QByteArray(t.name))));
    for (int i = 0; i < runs; ++i)
        feed(t.run, mutate(seeds.at(int(rng.bounded(int(seeds.size())))), rng));
    SUCCEED() << runs << " mutated inputs";
}

INSTANTIATE_TEST_SUITE_P(Targets, Fuzz, ::testing::ValuesIn(fuzz::targets),
                         [](const auto &info) { return std::string(info.param.name); });
