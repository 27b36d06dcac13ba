#include "BadInput.h"

namespace varnholt::test {

void CheckRows(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        SCOPED_TRACE("input: " + row.input);
        const Outcome& want = row.expected;
        try {
            const std::string got = row.call();
            if (want.raises)
                ADD_FAILURE() << "returned \"" << got.substr(0, 200) << "\"; expected error " << want.number << " ("
                              << want.source << "): " << want.description;
            else
                EXPECT_EQ(got, want.value);
        } catch (const Error& e) {
            if (!want.raises) {
                ADD_FAILURE() << "raised " << e.what() << "; expected \"" << want.value << "\"";
                continue;
            }
            EXPECT_EQ(e.Number(), want.number);
            EXPECT_EQ(U8(e.Source()), want.source);
            EXPECT_EQ(U8(e.Description()), want.description);
        }
    }
}

String Repeat(const std::string& utf8, size_t times) {
    const String unit = S(utf8);
    String out;
    out.reserve(unit.size() * times);
    for (size_t i = 0; i < times; ++i) out += unit;
    return out;
}

SafeArray<String> Texts(int32_t lower, int32_t upper, const std::string& prefix) {
    std::vector<std::string> items;
    for (int32_t i = lower; i <= upper; ++i) items.push_back(prefix + std::to_string(i));
    return Strings(lower, items);
}

SafeArray<String> TwoDimensional() {
    SafeArray<String> a({Bound{1, 34}, Bound{1, 2}});
    for (int32_t i = 1; i <= 34; ++i) a.At(i, 1) = a.At(i, 2) = S("L" + std::to_string(i));
    return a;
}

}  // namespace varnholt::test
