#pragma once
// A failing table row prints as its fields ({ "name", 3, true }) instead of as raw bytes.
// A test file brings this in with `using zp::test::PrintTo;` in the namespace of its row types;
// a row type with its own PrintTo or operator<< keeps it.
#include <gtest/gtest.h>

#include <cstddef>
#include <ostream>
#include <string>
#include <type_traits>

namespace zp::test {
namespace rows {

struct AnyField {
    template <class T> operator T() const;
};

// The number of fields of an aggregate: the most initialisers it accepts.
template <class T, class... F> constexpr std::size_t fieldCount() {
    if constexpr (requires { T{F{}..., AnyField{}}; })
        return fieldCount<T, F..., AnyField>();
    else
        return sizeof...(F);
}

template <class F> std::string field(const F& f) {
    if constexpr (std::is_enum_v<F>)
        return std::to_string(static_cast<long long>(f));
    else
        return ::testing::PrintToString(f);
}

template <class... F> void printFields(std::ostream* os, const F&... f) {
    const char* separator = "{ ";
    ((*os << separator << field(f), separator = ", "), ...);
    *os << " }";
}

// An aggregate class of 1 to 16 fields that has no operator<< of its own.
template <class T> constexpr bool printable() {
    if constexpr (requires(std::ostream & os, const T& row) { os << row; }) {
        return false;
    } else if constexpr (std::is_aggregate_v<T> && std::is_class_v<T>) {
        constexpr std::size_t count = fieldCount<T>();
        return count >= 1 && count <= 16;
    } else {
        return false;
    }
}

} // namespace rows

template <class T>
concept TableRow = rows::printable<T>();

// One case per number of fields.
#define ZP_ROW_FIELDS(n, ...)                                                                      \
    if constexpr (count == n) {                                                                    \
        const auto& [__VA_ARGS__] = row;                                                           \
        rows::printFields(os, __VA_ARGS__);                                                        \
    }

template <TableRow T> void PrintTo(const T& row, std::ostream* os) {
    constexpr std::size_t count = rows::fieldCount<T>();
    ZP_ROW_FIELDS(1, a)
    ZP_ROW_FIELDS(2, a, b)
    ZP_ROW_FIELDS(3, a, b, c)
    ZP_ROW_FIELDS(4, a, b, c, d)
    ZP_ROW_FIELDS(5, a, b, c, d, e)
    ZP_ROW_FIELDS(6, a, b, c, d, e, f)
    ZP_ROW_FIELDS(7, a, b, c, d, e, f, g)
    ZP_ROW_FIELDS(8, a, b, c, d, e, f, g, h)
    ZP_ROW_FIELDS(9, a, b, c, d, e, f, g, h, i)
    ZP_ROW_FIELDS(10, a, b, c, d, e, f, g, h, i, j)
    ZP_ROW_FIELDS(11, a, b, c, d, e, f, g, h, i, j, k)
    ZP_ROW_FIELDS(12, a, b, c, d, e, f, g, h, i, j, k, l)
    ZP_ROW_FIELDS(13, a, b, c, d, e, f, g, h, i, j, k, l, m)
    ZP_ROW_FIELDS(14, a, b, c, d, e, f, g, h, i, j, k, l, m, n)
    ZP_ROW_FIELDS(15, a, b, c, d, e, f, g, h, i, j, k, l, m, n, o)
    ZP_ROW_FIELDS(16, a, b, c, d, e, f, g, h, i, j, k, l, m, n, o, p)
}

#undef ZP_ROW_FIELDS

} // namespace zp::test
