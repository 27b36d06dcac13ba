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

SafeArray<String> TwoDimensional() {
    SafeArray<String> a({Bound{1, 34}, Bound{1, 2}});
    for (int32_t i = 1; i <= 34; ++i) a.At(i, 1) = a.At(i, 2) = S("L" + std::to_string(i));
    return a;
}

}  // namespace varnholt::test
