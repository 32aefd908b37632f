#include "platform/data/TRecordIndex.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <string_view>
#include <unordered_map>

#include <QCollator>
#include <QString>

#include "platform/data/FormatSettings.h"
#include "platform/data/TRecordStore.h"

namespace {

constexpr double Blank = -std::numeric_limits<double>::infinity();

// Whether `a` comes before `b` as their UTF-16 texts compare (as QString's <
// does): UTF-8 bytes order as code points, which is the same except that a
// character beyond U+FFFF (a surrogate pair in UTF-16) comes before U+E000..U+FFFF.
bool utf16Less(std::string_view a, std::string_view b)
{
    const auto [atA, atB] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    if (atB == b.end())
        return false;
    if (atA == a.end())
        return true;
    const auto x = static_cast<unsigned char>(*atA);
    const auto y = static_cast<unsigned char>(*atB);
    const auto highBmp = [](unsigned char lead) { return lead == 0xEE || lead == 0xEF; };
    if (x >= 0xF0 && highBmp(y))
        return true;
    if (y >= 0xF0 && highBmp(x))
        return false;
    return x < y;
}

// Each distinct text once: sorted by the collator, its rank is the row's key.
// A preview repeats its clients and companies many times, so this compares a
// few thousand texts instead of every row's.
std::vector<double> textKeys(const TRecordStore &store, int field)
{
    const int rows = store.rowCount();
    std::unordered_map<std::string_view, int> distinctOf;
    std::vector<std::string_view> distinct;
    std::vector<int> distinctOfRow(std::size_t(rows), -1);
    for (const int row : store.rowsInKeptOrder()) {
        if (store.isNull(row, field))
            continue;
        const std::string_view text = store.text(row, field);
        const auto [at, added] = distinctOf.try_emplace(text, int(distinct.size()));
        if (added)
            distinct.push_back(text);
        distinctOfRow[std::size_t(row)] = at->second;
    }
    QCollator collator(FormatSettings::locale()); // the host's language, pt-BR by default
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    // Each distinct text's sort key is made once and compared as bytes: a million
    // different names cost a million keys rather than twenty million collations.
    std::vector<QCollatorSortKey> sortKeys;
    sortKeys.reserve(distinct.size());
    for (const std::string_view text : distinct)
        sortKeys.push_back(collator.sortKey(QString::fromUtf8(text.data(), qsizetype(text.size()))));
    std::vector<int> byText(distinct.size());
    std::iota(byText.begin(), byText.end(), 0);
    std::stable_sort(byText.begin(), byText.end(), [&](int a, int b) {
        const int order = sortKeys[std::size_t(a)].compare(sortKeys[std::size_t(b)]);
        return order != 0 ? order < 0 : utf16Less(distinct[std::size_t(a)], distinct[std::size_t(b)]);
    });
    std::vector<double> rankOf(distinct.size());
    for (std::size_t rank = 0; rank < byText.size(); ++rank)
        rankOf[std::size_t(byText[rank])] = double(rank);
    std::vector<double> keys(std::size_t(rows), Blank);
    for (int row = 0; row < rows; ++row) {
        if (const int d = distinctOfRow[std::size_t(row)]; d >= 0)
            keys[std::size_t(row)] = rankOf[std::size_t(d)];
    }
    return keys;
}

std::vector<double> valueKeys(const TRecordStore &store, int field, bool dates)
{
    std::vector<double> keys(std::size_t(store.rowCount()), Blank);
    for (const int row : store.rowsInKeptOrder()) {
        if (store.isNull(row, field))
            continue;
        // Milliseconds of any date a preview holds stay exact in a double.
        const double value = dates ? double(store.dateTimeMs(row, field)) : store.number(row, field);
        keys[std::size_t(row)] = std::isnan(value) ? Blank : value;
    }
    return keys;
}

} // namespace

std::vector<int> TRecordIndex::Build(const TRecordStore &store, int field, bool descending)
{
    std::vector<int> order(std::size_t(store.rowCount()));
    std::iota(order.begin(), order.end(), 0);
    if (field < 0 || field >= store.fieldCount())
        return order;
    const TFieldType type = store.defs().at(field).type;
    const std::vector<double> keys = type == TFieldType::String || type == TFieldType::FixedChar
                                         ? textKeys(store, field)
                                         : valueKeys(store, field, type == TFieldType::DateTime);
    if (descending)
        std::stable_sort(order.begin(), order.end(),
                         [&](int a, int b) { return keys[std::size_t(a)] > keys[std::size_t(b)]; });
    else
        std::stable_sort(order.begin(), order.end(),
                         [&](int a, int b) { return keys[std::size_t(a)] < keys[std::size_t(b)]; });
    return order;
}

std::vector<int> TRecordIndex::Inverse(const std::vector<int> &applied)
{
    std::vector<int> inverse(applied.size());
    for (std::size_t place = 0; place < applied.size(); ++place)
        inverse[std::size_t(applied[place])] = int(place);
    return inverse;
}
