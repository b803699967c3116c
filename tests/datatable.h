#pragma once

#include <tuple>
#include <utility>

#include <QTest>

// Data tables declared and read in one line each: addColumns<int, QString>() in the _data slot,
// rows added with QTest::newRow() as usual, and in the test
// `const auto [count, name] = fetchRow<int, QString>();`. Columns go by their place.

// QTest keeps these names.
inline constexpr const char *columnNames[] = {"0", "1", "2", "3", "4", "5", "6", "7"};

template <typename... T> void addColumns()
{
    int i = 0;
    (QTest::addColumn<T>(columnNames[i++]), ...);
}

template <typename... T, std::size_t... i> std::tuple<T...> fetchColumns(std::index_sequence<i...>)
{
    return {*static_cast<T *>(QTest::qData(columnNames[i], qMetaTypeId<T>()))...};
}

template <typename... T> std::tuple<T...> fetchRow()
{
    return fetchColumns<T...>(std::index_sequence_for<T...>());
}
