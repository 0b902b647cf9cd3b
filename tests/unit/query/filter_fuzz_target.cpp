#include "filter_fuzz_target.h"

#include "query/filtercompose.h"
#include "query/filterconditions.h"
#include "query/findfilter.h"
#include "query/savedqueries.h"

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <cstdlib>

namespace {

void require(bool ok, const char *what, const QString &input)
{
    if (ok)
        return;
    std::fprintf(stderr, "filter fuzz: %s for input [%s]\n", what, input.toUtf8().constData());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QString text = QString::fromUtf8(bytes);

    // The checker and the term helper take any text.
    QString why;
    query::isValidFilter(text, &why);
    query::isValidFilter(query::asTerm(text));

    // Whatever a fragment holds, the conditions read from it compose a valid fragment again,
    // and a second round gives the same text.
    query::FilterConditions c;
    c.setToday(QDate(2024, 1, 31));
    c.parse(text);
    const QString once = c.fragment();
    require(query::isValidFragment(once), "parsed conditions composed an invalid fragment", text);
    query::FilterConditions again;
    again.setToday(QDate(2024, 1, 31));
    again.parse(once);
    require(again.fragment() == once, "a composed fragment did not parse back to itself", text);

    // Any text as a value: the composed terms are valid.
    require(query::isValidFilter(query::equals(QStringLiteral("cn"), text)), "equals", text);
    require(query::isValidFilter(query::contains(QStringLiteral("cn"), text)), "contains", text);
    const QString name = query::findNamePart(text, false);
    require(query::isValidFilter(query::findFilter(true, true, query::findSearchPart(name, true, {}), name)),
            "find filter", text);
    require(query::decodeFilterValue(query::equals(QStringLiteral("a"), text).mid(3).chopped(1)) == text,
            "escaped value did not decode to itself", text);

    // The same bytes as a stored record.
    if (const std::optional<query::SavedQuery> q = query::decodeQueryRecord(bytes))
        require(query::encodeQueryRecord(*q) == bytes.left(bytes.size() - 1) + char(q->fromConditions ? 1 : 0),
                "a stored record did not encode back", text);
    return 0;
}
